// One frame as the running client reads it from a local socket connection (one line of at
// most 4095 bytes).
#include "platform/ProcessMessenger.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size < 4095 ? size : 4095));
    QString message;
    QString sender;
    if (!LocalSocketMessenger::DecodeFrame(bytes, &message, &sender)) {
        return 0;
    }
    if (message.isEmpty() || message.contains(QLatin1Char('\t')) || sender.contains(QLatin1Char('\n'))) {
        std::abort();
    }
    // What a sender writes for the decoded pair reads back as that pair; a sender's own tabs
    // are dropped on writing.
    QString again;
    QString againSender;
    QString cleanSender = sender;
    cleanSender.remove(QLatin1Char('\t'));
    if (!LocalSocketMessenger::DecodeFrame(LocalSocketMessenger::EncodeFrame(message, sender), &again, &againSender) ||
        again != message || againSender != cleanSender) {
        std::abort();
    }
    return 0;
}
