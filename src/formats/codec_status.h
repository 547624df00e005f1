#pragma once
// Result and progress types shared by every file codec.
#include <QString>

#include <functional>

// Called by a codec with the percentage done (0 to 100). Returning false stops
// the operation: a reader leaves its outputs as they were, a writer leaves any
// existing file untouched.
using CodecProgress = std::function<bool(int percent)>;

enum class CodecError {
    None,
    OpenFailed,     // the file cannot be opened or created
    ReadFailed,     // the device reported a read error
    WriteFailed,    // writing or committing the file failed
    UnknownFormat,  // not a file of the expected kind
    BadHeader,      // header values that cannot describe a grid
    Truncated,      // fewer bytes or values than the header announces
    BadValue,       // a value that cannot be read as a number
    Unsupported,    // a valid file using a feature this codec does not read or write
    BadGrid,        // the grid given to a writer cannot be written in this format
    Cancelled       // stopped through the progress callback
};

// Outcome of a codec call: success, or an error code with a text for the user
// in English and Russian.
class CodecStatus {
public:
    CodecStatus() = default;  // success

    static CodecStatus failure(CodecError code, const QString& english, const QString& russian = QString());
    static CodecStatus cancelled();

    bool ok() const { return code_ == CodecError::None; }
    explicit operator bool() const { return ok(); }
    CodecError code() const { return code_; }

    // English text of the error (empty on success).
    QString message() const { return english_; }
    // Text in the program's language: 0 Russian, anything else English.
    QString message(int language) const;

private:
    CodecError code_ = CodecError::None;
    QString english_;
    QString russian_;
};

// Calls progress (when set) with percent; false means "stop".
inline bool codec_continue(const CodecProgress& progress, int percent)
{
    return !progress || progress(percent);
}

// Percentage of done out of total, 0 when total is 0.
inline int codec_percent(long long done, long long total)
{
    return total > 0 ? static_cast<int>(done * 100 / total) : 0;
}
