#include "mail/id_coder.h"

#include "mail/id_coder_3to4.h"
#include "mail/id_coder_quoted_printable.h"
#include "platform/ascii.h"

namespace sendrix::mail {

void TIdCoder::Feed(std::string_view input) {
    while (!input.empty()) {
        const size_t room = kBufferSize - m_buffer.size();
        const size_t take = input.size() < room ? input.size() : room;
        m_buffer.append(input.substr(0, take));
        input.remove_prefix(take);
        if (m_buffer.size() == kBufferSize) {
            std::string piece;
            // A coder may keep a tail (base64: 4096 is no multiple of 3);
            // it stays at the front of the buffer for the next round.
            const size_t used = Encode(m_buffer, false, piece);
            m_buffer.erase(0, used);
            addPiece(piece);
        }
    }
}

std::string TIdCoder::Finish() {
    std::string piece;
    Encode(m_buffer, true, piece);
    m_buffer.clear();
    addPiece(piece);
    std::string result;
    result.swap(m_output);
    return result;
}

void TIdCoder::EncodeChunks(std::string_view data, size_t chunkSize, std::string& out) {
    while (!data.empty()) {
        const size_t take = data.size() < chunkSize ? data.size() : chunkSize;
        Feed(data.substr(0, take));
        out += Finish();
        data.remove_prefix(take);
    }
}

size_t TIdCoder::Encode(std::string_view bytes, bool, std::string& out) {
    out.append(bytes);
    return bytes.size();
}

void TIdCoder::addPiece(std::string& piece) {
    // An empty piece gives no output at all, not even the line end.
    if (piece.empty())
        return;
    m_output += piece;
    if (m_lineMode)
        m_output += "\r\n";
}

namespace {

template <typename Coder>
std::unique_ptr<TIdCoder> make() {
    return std::make_unique<Coder>();
}

}  // namespace

TIdCoderCollection::TIdCoderCollection() {
    using D = TIdCoderDirection;
    // Registration order matters: lookups take the first match.
    m_items = {
        {"TIdCoder", D::Encoder, 0, "application/octet-stream", "", &make<TIdCoder>},
        {"TIdCoder", D::Decoder, 0, "application/octet-stream", "", nullptr},
        {"TIdCoder", D::Decoder, 0, "", "7bit", nullptr},
        {"TIdCoder", D::Decoder, 0, "", "8bit", nullptr},
        {"TIdCoder", D::Decoder, 0, "", "binary", nullptr},
        {"TIdIMFDecoder", D::Decoder, 0, "text/", "8bit", nullptr},
        {"TIdBase64Encoder", D::Encoder, 0, "", "base64", &make<TIdBase64Encoder>},
        {"TIdBase64Decoder", D::Decoder, 0, "", "base64", nullptr},
        {"TIdUUEncoder", D::Encoder, 0, "", "x-uu", &make<TIdUUEncoder>},
        {"TIdUUDecoder", D::Decoder, 0, "", "x-uu", nullptr},
        {"TIdXXEncoder", D::Encoder, 0, "", "x-xx", &make<TIdXXEncoder>},
        {"TIdXXDecoder", D::Decoder, 0, "", "x-xx", nullptr},
        {"TIdQuotedPrintableEncoder", D::Encoder, 0, "", "quoted-printable",
         &make<TIdQuotedPrintableEncoder>},
        {"TIdQuotedPrintableDecoder", D::Decoder, 0, "", "quoted-printable", nullptr},
    };
}

const TIdCoderCollection& TIdCoderCollection::Instance() {
    static const TIdCoderCollection collection;
    return collection;
}

const TIdCoderItem& TIdCoderCollection::FindCoder(std::string_view contentType,
                                                  std::string_view transferEncoding) const {
    const TIdCoderItem* fallback = nullptr;
    for (const auto& item : m_items) {
        if (item.direction != TIdCoderDirection::Encoder)
            continue;
        if (!fallback && platform::equalsNoCase(item.contentType, "application/octet-stream") &&
            item.transferEncoding.empty())
            fallback = &item;
        if (platform::equalsNoCase(item.contentType, contentType) &&
            platform::equalsNoCase(item.transferEncoding, transferEncoding))
            return item;
    }
    if (!transferEncoding.empty()) {
        // A transfer encoding without an encoder means pass-through; the
        // content type is not consulted then.
        for (const auto& item : m_items)
            if (item.direction == TIdCoderDirection::Encoder &&
                platform::equalsNoCase(item.transferEncoding, transferEncoding))
                return item;
    } else if (!contentType.empty()) {
        for (const auto& item : m_items)
            if (item.direction == TIdCoderDirection::Encoder &&
                platform::equalsNoCase(item.contentType, contentType))
                return item;
    }
    return *fallback;
}

std::unique_ptr<TIdCoder> FindCoder(std::string_view contentType, std::string_view transferEncoding) {
    return TIdCoderCollection::Instance().FindCoder(contentType, transferEncoding).create();
}

}  // namespace sendrix::mail
