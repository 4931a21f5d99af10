#include "devices/UuirtLibrary.h"

#include <QFile>

#include <dlfcn.h>
#include <string>

namespace zelvar {

QString UuirtLibrary::defaultName()
{
    return QStringLiteral("libuuirtdrv.so");
}

std::unique_ptr<UuirtLibrary> UuirtLibrary::load(const QString &path)
{
    // The library stays loaded for the life of the process: handles are never closed,
    // so unloading could pull code from under whatever the driver left running.
    void *library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    auto open = reinterpret_cast<OpenFunction>(dlsym(library, "UUIRTOpen"));
    auto transmit = reinterpret_cast<TransmitFunction>(dlsym(library, "UUIRTTransmitIR"));
    if (!open || !transmit) {
        dlclose(library);
        return nullptr;
    }
    return std::unique_ptr<UuirtLibrary>(new UuirtLibrary(open, transmit));
}

UuirtLibrary::UuirtLibrary(OpenFunction open, TransmitFunction transmit)
    : m_open(open)
    , m_transmit(transmit)
{
}

void UuirtLibrary::transmit(const QByteArray &prontoCode) const
{
    // A private zero-terminated copy: the driver takes a writable pointer, and an empty
    // code still passes a valid empty text rather than no text at all.
    std::string code(prontoCode.constData(), static_cast<std::size_t>(prontoCode.size()));
    void *handle = m_open();
    m_transmit(handle, code.data(), kProntoFormat, kRepeatCount, 0, nullptr, nullptr, nullptr);
}

} // namespace zelvar
