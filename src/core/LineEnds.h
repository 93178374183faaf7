#pragma once

#include <QString>
#include <QStringView>

// Line ends in text that the program writes out: mail data and pasted text
// both end every line in CR LF, and a field that must stay on one line (a
// header, a key or value of a settings file) may hold no line end at all.
namespace lineends {

// Every line end (CR LF, a lone CR, a lone LF) as CR LF; an LF followed by a
// CR is two line ends.
QString withCrLf(QStringView text);

// True when the text holds a CR or an LF, which would end its line.
bool hasLineBreak(QStringView text);

} // namespace lineends
