#include "store/TextCodec.h"

#include "base/RunError.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>
#ifdef Q_OS_WIN
#include "store/win/CodePage932.h"
#endif
#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <vector>

namespace TextCodec {
namespace {

#ifndef Q_OS_WIN
// ICU's Shift_JIS, which is code page 932 but for the control codes fixed below.
class Cp932Decoder : public QStringDecoder {
public:
    Cp932Decoder() : QStringDecoder("Shift_JIS", QStringConverter::Flag::Stateless) {}
};

class Cp932Encoder : public QStringEncoder {
public:
    Cp932Encoder() : QStringEncoder("Shift_JIS", QStringConverter::Flag::Stateless) {}
};
#endif

constexpr bool isEscape(char16_t c) {
    return c >= 0xDC80 && c <= 0xDCFF;
}

bool isCp932Lead(uchar b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// CP932 character table built once from the system converter: single bytes and every pair.
struct Cp932Table {
    std::array<char16_t, 256> single{};
    std::array<char16_t, 65536> pair{}; // 0 = invalid
    std::array<bool, 65536> written{};  // the code the converter writes for that character
    Cp932Table() {
        for (int b = 0; b < 0x80; ++b)
            single[b] = char16_t(b);
        for (int b = 0xA1; b <= 0xDF; ++b)
            single[b] = char16_t(0xFF61 + (b - 0xA1));
        QByteArray buf;
        std::vector<int> codes;
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isCp932Lead(uchar(lead)))
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (trail == 0x7F)
                    continue;
                buf.append(char(lead)).append(char(trail)).append('\n');
                codes.push_back(lead << 8 | trail);
            }
        }
        Cp932Decoder dec;
        const QString out = dec.decode(buf);
        const QList<QStringView> parts = QStringView(out).split(QLatin1Char('\n'));
        if (parts.size() < qsizetype(codes.size()))
            return;
        for (size_t k = 0; k < codes.size(); ++k) {
            const QStringView p = parts.at(qsizetype(k));
            if (p.size() == 1 && p.at(0).unicode() != 0x1A && p.at(0).unicode() != 0xFFFD)
                pair[size_t(codes[k])] = p.at(0).unicode();
        }
        // Some characters have two codes (NEC and IBM duplicates); the converter writes only one.
        Cp932Encoder enc;
        for (int code = 0; code < 65536; ++code) {
            const char16_t c = pair[size_t(code)];
            if (!c)
                continue;
            const QByteArray w = enc.encode(QStringView(&c, 1));
            written[size_t(code)] = !enc.hasError() && w.size() == 2 &&
                                    uchar(w[0]) == (code >> 8) && uchar(w[1]) == (code & 0xFF);
            enc.resetState();
        }
    }
};

const Cp932Table &cp932Table() {
    static const Cp932Table table;
    return table;
}

// ICU's Shift_JIS (IBM-943) swaps the control codes 0x1A, 0x1C and 0x7F with one another; CP932
// maps every byte below 0x80 to itself. These undo the swap around each use of the converter.
struct AsciiFix {
    std::array<char16_t, 0x80> fromConverter{};
    std::array<char16_t, 0x80> toConverter{};
    bool needed = false;
    AsciiFix() {
        std::iota(fromConverter.begin(), fromConverter.end(), char16_t(0));
        toConverter = fromConverter;
        QByteArray bytes;
        for (int b = 0; b < 0x80; ++b)
            bytes.append(char(b));
        Cp932Decoder dec;
        const QString text = dec.decode(bytes);
        if (dec.hasError() || text.size() != bytes.size())
            return;
        for (int b = 0; b < 0x80; ++b) {
            const char16_t c = text.at(b).unicode();
            if (c != b && c < 0x80) {
                fromConverter[c] = char16_t(b);
                toConverter[b] = c;
                needed = true;
            }
        }
    }
};

const AsciiFix &asciiFix() {
    static const AsciiFix fix;
    return fix;
}

void remapAscii(QString &text, const std::array<char16_t, 0x80> &map) {
    for (QChar &c : text) {
        if (c.unicode() < 0x80)
            c = QChar(map[c.unicode()]);
    }
}

// Unicode keeps apart JIS and Microsoft forms of a few characters that CP932 writes with one code,
// as Windows and iconv do ("〜" from a Linux input method becomes 81 60). The converter knows
// only the form it reads back, so the others are written as that one.
char16_t cp932Twin(char16_t c) {
    switch (c) {
    case 0x301C:
        return 0xFF5E; // WAVE DASH
    case 0x2016:
        return 0x2225; // DOUBLE VERTICAL LINE
    case 0x2212:
        return 0xFF0D; // MINUS SIGN
    case 0x2014:
        return 0x2015; // EM DASH
    case 0x00A2:
        return 0xFFE0; // CENT SIGN
    case 0x00A3:
        return 0xFFE1; // POUND SIGN
    case 0x00AC:
        return 0xFFE2; // NOT SIGN
    case 0x00A5:
        return u'\\'; // YEN SIGN
    case 0x203E:
        return u'~'; // OVERLINE
    default:
        return c;
    }
}

QString decodeCp932Escaped(QByteArrayView bytes) {
    const Cp932Table &t = cp932Table();
    QString out;
    out.reserve(bytes.size());
    // After a kept lead byte, a duplicate code must stay kept bytes too: written back as the
    // other code, its first byte could pair with the kept one and the line would read otherwise.
    bool afterKeptLead = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes[i]);
        if (isCp932Lead(b) && i + 1 < bytes.size()) {
            const size_t code = size_t(b) << 8 | uchar(bytes[i + 1]);
            const char16_t c = t.pair[code];
            if (c && (t.written[code] || !afterKeptLead)) {
                out += QChar(c);
                ++i;
                afterKeptLead = false;
                continue;
            }
        }
        if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) {
            out += QChar(t.single[b]);
            afterKeptLead = false;
        } else {
            out += QChar(char16_t(0xDC00 + b));
            afterKeptLead = isCp932Lead(b);
        }
    }
    return out;
}

// Length of the valid UTF-8 sequence at i, or 0.
int utf8SequenceLength(QByteArrayView s, qsizetype i) {
    const uchar b = uchar(s[i]);
    if (b < 0x80)
        return 1;
    int len;
    uchar lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF)
        len = 2;
    else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        if (b == 0xE0)
            lo = 0xA0;
        if (b == 0xED)
            hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        if (b == 0xF0)
            lo = 0x90;
        if (b == 0xF4)
            hi = 0x8F;
    } else
        return 0;
    if (i + len > s.size())
        return 0;
    const uchar b1 = uchar(s[i + 1]);
    if (b1 < lo || b1 > hi)
        return 0;
    for (int k = 2; k < len; ++k) {
        const uchar bk = uchar(s[i + k]);
        if (bk < 0x80 || bk > 0xBF)
            return 0;
    }
    return len;
}

// QString::fromUtf8 drops a U+FEFF at the start of what it is given: a line or a run between two
// undecodable bytes. Here only the file's first three bytes are a BOM; any other is a character.
QString utf8Text(QByteArrayView bytes) {
    QStringDecoder dec(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                   QStringConverter::Flag::ConvertInitialBom);
    return dec.decode(bytes);
}

QString decodeUtf8Escaped(QByteArrayView bytes) {
    QString out;
    out.reserve(bytes.size());
    qsizetype runStart = 0;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const int len = utf8SequenceLength(bytes, i);
        if (len) {
            i += len;
            continue;
        }
        out += utf8Text(bytes.sliced(runStart, i - runStart));
        out += QChar(char16_t(0xDC00 + uchar(bytes[i])));
        ++i;
        runStart = i;
    }
    out += utf8Text(bytes.sliced(runStart));
    return out;
}

bool hasEscapes(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode()))
            ++i;
        else if (isEscape(c))
            return true;
    }
    return false;
}

QByteArray encodeRun(QStringView run, FileEncoding enc) {
    if (enc != FileEncoding::Cp932) {
        if (auto bad = firstUnencodable(run, enc))
            throw RunError::unencodable(*bad);
        return run.toUtf8();
    }
    Cp932Encoder e;
    QByteArray out;
    const auto converted = [](QChar c) {
        return c.unicode() < 0x80 ? asciiFix().toConverter[c.unicode()] : cp932Twin(c.unicode());
    };
    if (std::any_of(run.begin(), run.end(), [&](QChar c) { return converted(c) != c.unicode(); })) {
        QString fixed = run.toString();
        for (QChar &c : fixed)
            c = QChar(converted(c));
        out = e.encode(fixed);
    } else {
        out = e.encode(run);
    }
    if (e.hasError()) {
        const auto bad = firstUnencodable(run, enc);
        throw RunError::unencodable(bad ? *bad : char32_t(0xFFFD));
    }
    return out;
}

} // namespace

bool isValidUtf8(QByteArrayView bytes) {
    for (qsizetype i = 0; i < bytes.size();) {
        const int len = utf8SequenceLength(bytes, i);
        if (!len)
            return false;
        i += len;
    }
    return true;
}

FileEncoding detect(const QByteArray &bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return FileEncoding::Utf8Bom;
    // Half-width katakana in CP932 often form valid two-byte UTF-8 sequences ("ﾐｽ" is D0 BD);
    // Japanese written in UTF-8 always has three-byte ones, so only those make a file UTF-8.
    bool longSequence = false;
    for (qsizetype i = 0; i < bytes.size();) {
        const int len = utf8SequenceLength(bytes, i);
        if (!len)
            return FileEncoding::Cp932;
        longSequence = longSequence || len >= 3;
        i += len;
    }
    return longSequence ? FileEncoding::Utf8 : FileEncoding::Cp932;
}

QByteArray bom(FileEncoding enc) {
    return enc == FileEncoding::Utf8Bom ? QByteArray("\xEF\xBB\xBF") : QByteArray();
}

QString decode(QByteArrayView bytes, FileEncoding enc) {
    if (enc != FileEncoding::Cp932) {
        if (isValidUtf8(bytes))
            return utf8Text(bytes);
        return decodeUtf8Escaped(bytes);
    }
    bool ascii = true;
    for (char c : bytes) {
        if (uchar(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return QString::fromLatin1(bytes);
    // Stateless: a lead byte at the end of the line is an error here, not held back and lost.
    // One decoder serves line after line (opening a converter cost more than converting a
    // line); after an error it is dropped, as its error count cannot be reset.
    thread_local std::optional<Cp932Decoder> dec;
    if (!dec)
        dec.emplace();
    QString out = dec->decode(bytes);
    if (!dec->hasError()) {
        if (asciiFix().needed)
            remapAscii(out, asciiFix().fromConverter);
        return out;
    }
    dec.reset();
    return decodeCp932Escaped(bytes);
}

std::optional<char32_t> firstUnencodable(QStringView text, FileEncoding enc) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        char32_t code = c;
        qsizetype len = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            code = QChar::surrogateToUcs4(c, text.at(i + 1).unicode());
            len = 2;
        } else if (QChar::isSurrogate(c)) {
            if (isEscape(c))
                continue; // a kept byte, written back as it came
            return code;
        }
        if (enc == FileEncoding::Cp932 && c >= 0x80 && cp932Twin(c) == c) {
            Cp932Encoder e;
            const QByteArray encoded = e.encode(text.sliced(i, len)); // the conversion runs here
            if (e.hasError() || encoded.isEmpty())
                return code;
        }
        i += len - 1;
    }
    return std::nullopt;
}

QByteArray encode(QStringView text, FileEncoding enc) {
    if (!hasEscapes(text))
        return encodeRun(text, enc);
    QByteArray out;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            ++i;
            continue;
        }
        if (isEscape(c)) {
            out += encodeRun(text.sliced(runStart, i - runStart), enc);
            out += char(c - 0xDC00);
            runStart = i + 1;
        }
    }
    out += encodeRun(text.sliced(runStart), enc);
    return out;
}

} // namespace TextCodec
