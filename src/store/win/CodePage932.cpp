#include "store/win/CodePage932.h"

#include <qt_windows.h>

#include <algorithm>

namespace {
constexpr UINT kCodePage = 932;

bool isLead(uchar b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Windows' table gives 80, A0 and FD-FF characters of their own (U+0080, U+F8F0-F8F3) which no
// other program's code page 932 has: here, as elsewhere, they are bytes kept as they came.
bool isVendorOnly(char16_t c) {
    return c == 0x80 || (c >= 0xF8F0 && c <= 0xF8F3);
}

// Strict: false where any byte does not decode, rather than the system's default character.
bool decodeStrictly(QByteArrayView bytes, QString &out) {
    const int n = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                      int(bytes.size()), nullptr, 0);
    if (n <= 0)
        return false;
    out.resize(n);
    return MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()),
                               reinterpret_cast<wchar_t *>(out.data()), n) == n &&
           std::none_of(out.cbegin(), out.cend(),
                        [](QChar c) { return isVendorOnly(c.unicode()); });
}
} // namespace

QString Cp932Decoder::decode(QByteArrayView bytes) {
    QString out;
    if (bytes.isEmpty() || decodeStrictly(bytes, out))
        return out;
    // Character by character, each one that does not decode (a lead byte at the end among them)
    // taken as one replacement character.
    out.clear();
    QString one;
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype len = isLead(uchar(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
        if (decodeStrictly(bytes.sliced(i, len), one)) {
            out += one;
        } else {
            out += QChar::ReplacementCharacter;
            m_error = true;
        }
        i += len;
    }
    return out;
}

QByteArray Cp932Encoder::encode(QStringView text) {
    if (text.isEmpty())
        return {};
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return isVendorOnly(c.unicode()); })) {
        m_error = true;
        return {};
    }
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    BOOL usedDefault = FALSE;
    // No best fit: a character code page 932 does not have is refused, not written as another.
    const int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, int(text.size()),
                                      nullptr, 0, nullptr, &usedDefault);
    QByteArray out(qMax(n, 0), Qt::Uninitialized);
    if (n <= 0 || usedDefault ||
        WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, int(text.size()), out.data(), n,
                            nullptr, &usedDefault) != n ||
        usedDefault) {
        m_error = true;
        return {};
    }
    return out;
}
