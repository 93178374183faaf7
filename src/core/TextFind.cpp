#include "core/TextFind.h"

#include "core/CodePage.h"

#include <algorithm>
#include <array>

namespace textfind {

namespace {

const std::array<unsigned char, 256> &lowerTable()
{
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t {};
        for (int byte = 0; byte < 256; ++byte) {
            const QChar lower = QChar(codepage::toUnicode(static_cast<unsigned char>(byte))).toLower();
            t[byte] = codepage::fromUnicode(lower.unicode()).value_or(static_cast<unsigned char>(byte));
        }
        return t;
    }();
    return table;
}

bool sameLetter(char a, char b)
{
    const auto &lower = lowerTable();
    return lower[static_cast<unsigned char>(a)] == lower[static_cast<unsigned char>(b)];
}

} // namespace

bool nameMatches(const QString &name, const QString &query)
{
    return name.contains(query, Qt::CaseInsensitive);
}

qsizetype findForward(QByteArrayView text, QByteArrayView needle, qsizetype from)
{
    if (needle.isEmpty() || needle.size() > text.size())
        return -1;
    from = std::clamp<qsizetype>(from, 0, text.size());
    auto at = std::search(text.begin() + from, text.end(), needle.begin(), needle.end(), sameLetter);
    if (at == text.end()) {
        // Round from the top; a match may overlap the starting point.
        const qsizetype upTo = std::min(text.size(), from + needle.size() - 1);
        at = std::search(text.begin(), text.begin() + upTo, needle.begin(), needle.end(), sameLetter);
        if (at == text.begin() + upTo)
            return -1;
    }
    return at - text.begin();
}

qsizetype findBackward(QByteArrayView text, QByteArrayView needle, qsizetype from)
{
    if (needle.isEmpty() || needle.size() > text.size())
        return -1;
    from = std::clamp<qsizetype>(from, 0, text.size());
    const qsizetype upTo = std::min(text.size(), from - 1 + needle.size());
    auto at = std::find_end(
        text.begin(), text.begin() + std::max<qsizetype>(upTo, 0), needle.begin(), needle.end(), sameLetter);
    if (from == 0 || at == text.begin() + std::max<qsizetype>(upTo, 0)) {
        at = std::find_end(text.begin(), text.end(), needle.begin(), needle.end(), sameLetter);
        if (at == text.end())
            return -1;
    }
    return at - text.begin();
}

} // namespace textfind
