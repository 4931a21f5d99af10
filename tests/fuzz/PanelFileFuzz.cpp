// Panel files from arbitrary bytes: never a crash, and what the program writes reads back the same.
#include "common/ProfileFile.h"
#include "panel/PanelConfig.h"
#include "panel/PanelButtons.h"
#include "panel/PanelCheck.h"
#include <cstdint>
using namespace zelvar;
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const ProfileFile p = ProfileFile::fromBytes(bytes);
    for (auto r : {PanelReader::Panel, PanelReader::Factory, PanelReader::Editor}) {
        PanelConfig c = readPanelConfig(p, r);
        if (c.buttons.size() > 50) c.buttons.resize(50);
        buildPanelButtons(c.buttons);
        const QByteArray out = writePanelConfig(c).toBytes();
        const PanelConfig again = readPanelConfig(ProfileFile::fromBytes(out), PanelReader::Editor);
        if (r == PanelReader::Editor && again.buttons.size() != c.buttons.size()) __builtin_trap();
    }
    checkPanelFile(p);
    if (ProfileFile::fromBytes(p.toBytes()).toBytes() != p.toBytes()) __builtin_trap();
    return 0;
}
