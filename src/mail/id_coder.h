#pragma once
// The coder framework: buffered feed-and-finish encoders and the registry
// that maps a content type and transfer encoding to an encoder class.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sendrix::mail {

// The pass-through coder, and the base of every coder. Input is collected in
// a 4096-byte buffer; each full buffer and the final rest at Finish are
// encoded as one output piece, which in line mode gets CR LF at its end.
class TIdCoder {
public:
    static constexpr size_t kBufferSize = 4096;

    TIdCoder() = default;
    virtual ~TIdCoder() = default;
    TIdCoder(const TIdCoder&) = delete;
    TIdCoder& operator=(const TIdCoder&) = delete;

    bool LineMode() const { return m_lineMode; }
    void SetLineMode(bool lineMode) { m_lineMode = lineMode; }

    // Any length, any number of times.
    void Feed(std::string_view input);
    // Encodes what is still buffered and returns all output since the last
    // Finish. The coder can be fed again afterwards.
    std::string Finish();

    // Appends to `out` what feeding each `chunkSize`-byte piece of `data`
    // (the last one may be shorter) and finishing after it gives. Coders
    // with a faster equivalent override it.
    virtual void EncodeChunks(std::string_view data, size_t chunkSize, std::string& out);

protected:
    bool HasBufferedInput() const { return !m_buffer.empty(); }

    // Encodes a prefix of `bytes` into `out` and returns its length; bytes
    // not taken stay buffered. `final` is set at Finish, where everything
    // must be taken.
    virtual size_t Encode(std::string_view bytes, bool final, std::string& out);

private:
    void addPiece(std::string& piece);

    std::string m_buffer;
    std::string m_output;
    bool m_lineMode = false;
};

enum class TIdCoderDirection { Encoder, Decoder };

using TIdCoderFactory = std::unique_ptr<TIdCoder> (*)();

struct TIdCoderItem {
    std::string className;
    TIdCoderDirection direction;
    int priority;
    std::string contentType;
    std::string transferEncoding;
    // Makes an instance; null for the reading side's decoders, which this
    // program never builds.
    TIdCoderFactory create;
};

// The process-wide registry, filled once on first use and read-only after.
class TIdCoderCollection {
public:
    static const TIdCoderCollection& Instance();

    const std::vector<TIdCoderItem>& Items() const { return m_items; }

    // The encoder for a part: exact match of both names, else the first with
    // the transfer encoding (when given), else the first with the content
    // type (when only that is given), else the pass-through coder. Letter
    // case is ignored.
    const TIdCoderItem& FindCoder(std::string_view contentType, std::string_view transferEncoding) const;

private:
    TIdCoderCollection();

    std::vector<TIdCoderItem> m_items;
};

// A new instance of the encoder FindCoder chooses.
std::unique_ptr<TIdCoder> FindCoder(std::string_view contentType, std::string_view transferEncoding);

}  // namespace sendrix::mail
