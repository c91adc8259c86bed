#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Windows' own code page 932, where Qt without ICU has no Shift_JIS converter. Used as Qt's
// stateless converters are: an undecodable byte or unencodable character sets the error, and
// decoding goes on with U+FFFD.
class Cp932Decoder {
public:
    QString decode(QByteArrayView bytes);
    bool hasError() const { return m_error; }
    void resetState() { m_error = false; }

private:
    bool m_error = false;
};

class Cp932Encoder {
public:
    QByteArray encode(QStringView text);
    bool hasError() const { return m_error; }
    void resetState() { m_error = false; }

private:
    bool m_error = false;
};
