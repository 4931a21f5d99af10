// Sequence files from arbitrary bytes: never a crash, and a saved sequence reads back as it was saved.
#include "common/ProfileFile.h"
#include "sequencer/SequenceFile.h"
#include <cstdint>
using namespace zelvar;
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const int panelButtons = size ? data[0] % 8 : 0;
    SequenceState first;
    readSequence(ProfileFile::fromBytes(bytes), first, panelButtons);
    const QByteArray saved = writeSequence(first).toBytes();
    SequenceState second;
    readSequence(ProfileFile::fromBytes(saved), second, panelButtons);
    if (second.trackCount() != first.trackCount() || second.loopLeft != first.loopLeft ||
        second.CoefTaille != first.CoefTaille)
        __builtin_trap();
    for (int n = 1; n <= first.trackCount(); ++n)
        if (second.Pistes[size_t(n)].Btns != first.Pistes[size_t(n)].Btns ||
            second.Pistes[size_t(n)].savedCode() != first.Pistes[size_t(n)].savedCode())
            __builtin_trap();
    if (writeSequence(second).toBytes() != saved)
        __builtin_trap();
    return 0;
}
