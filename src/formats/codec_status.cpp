#include "formats/codec_status.h"

CodecStatus CodecStatus::failure(CodecError code, const QString& english, const QString& russian)
{
    CodecStatus status;
    status.code_ = code;
    status.english_ = english;
    status.russian_ = russian;
    return status;
}

CodecStatus CodecStatus::cancelled()
{
    return failure(CodecError::Cancelled, QStringLiteral("The operation was cancelled"),
                   QStringLiteral("Операция прервана"));
}

QString CodecStatus::message(int language) const
{
    if (language == 0 && !russian_.isEmpty())
        return russian_;
    return english_;
}
