#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// Index files are UTF-8 when they are valid UTF-8 (BOM optional), else Windows-1252.
// They are written in Windows-1252 when every character fits, else UTF-8 with BOM,
// so that nothing is ever lost.
namespace textcodec {

bool isValidUtf8(const char* data, qsizetype size);

QString decodeWindows1252(QByteArrayView bytes);

// Returns false (and leaves out untouched) when a character has no Windows-1252 byte.
bool encodeWindows1252(QStringView text, QByteArray& out);

// The Windows-1252 byte of one character, or -1.
int windows1252Byte(char16_t c);

QString decodeIndexText(QByteArrayView bytes);
QByteArray encodeIndexText(QStringView text);

// Splits at CR LF, CR or LF. A final line break gives no extra empty line. The lines share
// one block of text (one allocation).
QStringList splitLines(QStringView text);

// splitLines(decodeIndexText(bytes)) without copying the text.
QStringList decodeIndexLines(QByteArrayView bytes);

// Folds d[0, n) in place as QString::toCaseFolded() folds it, when every unit lies below
// 0x100 and folds to one unit; else false, with d folded in part (folding it again gives
// the same as folding the original).
bool foldLatin1InPlace(char16_t* d, qsizetype n);

// Copies of the n parts into out[0..n), sharing one new block (one allocation for all),
// case-folded when `fold` is set.
void copiesSharingBlock(const QStringView* parts, qsizetype n, QString* out, bool fold = false);

// Copies of short texts made one after another (numbered names, say), kept in blocks of
// several kilobytes that many copies share: a copy costs no allocation of its own. A block
// goes with the last copy made in it and the pool.
class TextPool {
public:
    // Copies of the n parts into out[0..n), one after another in the current block.
    void copies(const QStringView* parts, qsizetype n, QString* out);
    // The n parts joined into one text, in the current block.
    void joined(const QStringView* parts, qsizetype n, QString* out);
    // Drops the copies' claim on the pool; the current block is written again when no copy
    // holds it any more.
    void clear() {
        if (!block_.isDetached()) block_ = QString();
        used_ = 0;
    }

private:
    // Room for `units` at the end of the current block (a new one when they do not fit),
    // nullptr for texts too long for a block; take() then hands out the first `len` of them.
    char16_t* room(qsizetype units);
    QString take(qsizetype len);

    QString block_;
    qsizetype used_ = 0;
};

// Joins with CR LF after every line.
QString joinLinesCrLf(const QStringList& lines);

} // namespace textcodec
