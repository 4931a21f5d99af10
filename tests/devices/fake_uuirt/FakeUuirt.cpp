// Stands for the transmitter vendor's driver library in tests: exports the same two
// functions and appends one line per call to the file named by ZELVAR_FAKE_UUIRT_LOG
// (see FakeUuirtLog.h for the format).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

std::uintptr_t nextHandle = 0x1000;

FILE *openLog()
{
    const char *path = std::getenv("ZELVAR_FAKE_UUIRT_LOG");
    return path && *path ? std::fopen(path, "a") : nullptr;
}

std::uintptr_t number(const void *pointer)
{
    return reinterpret_cast<std::uintptr_t>(pointer);
}

} // namespace

extern "C" __attribute__((visibility("default"))) void *UUIRTOpen()
{
    void *handle = reinterpret_cast<void *>(++nextHandle);
    if (FILE *log = openLog()) {
        std::fprintf(log, "UUIRTOpen %ju\n", static_cast<std::uintmax_t>(number(handle)));
        std::fclose(log);
    }
    return handle;
}

extern "C" __attribute__((visibility("default"))) int UUIRTTransmitIR(void *handle, char *code, int codeFormat,
                                                                     int repeatCount, int inactivityWaitTime,
                                                                     void *hEvent, void *reserved0, void *reserved1)
{
    if (FILE *log = openLog()) {
        std::fprintf(log, "UUIRTTransmitIR %ju %d %d %d %ju %ju %ju ", static_cast<std::uintmax_t>(number(handle)),
                     codeFormat, repeatCount, inactivityWaitTime, static_cast<std::uintmax_t>(number(hEvent)),
                     static_cast<std::uintmax_t>(number(reserved0)), static_cast<std::uintmax_t>(number(reserved1)));
        if (!code) {
            std::fputs("(null)", log);
        } else {
            for (const char *c = code; *c; ++c) {
                if (*c == '\\' || *c == '\n')
                    std::fputc('\\', log);
                std::fputc(*c == '\n' ? 'n' : *c, log);
            }
        }
        std::fputc('\n', log);
        std::fclose(log);
    }
    return 1;
}
