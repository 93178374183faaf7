#include "app/CommandLine.h"

#include "core/Version.h"

#include <QLatin1StringView>

namespace commandline {
namespace {

// Options that QApplication takes itself, and whether a value follows them.
struct QtOption {
    QLatin1StringView name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    { QLatin1StringView("platform"), true },
    { QLatin1StringView("platformpluginpath"), true },
    { QLatin1StringView("platformtheme"), true },
    { QLatin1StringView("plugin"), true },
    { QLatin1StringView("qwindowgeometry"), true },
    { QLatin1StringView("qwindowicon"), true },
    { QLatin1StringView("qwindowtitle"), true },
    { QLatin1StringView("display"), true },
    { QLatin1StringView("geometry"), true },
    { QLatin1StringView("style"), true },
    { QLatin1StringView("stylesheet"), true },
    { QLatin1StringView("session"), true },
    { QLatin1StringView("name"), true },
    { QLatin1StringView("title"), true },
    { QLatin1StringView("reverse"), false },
    { QLatin1StringView("widgetcount"), false },
    { QLatin1StringView("nograb"), false },
    { QLatin1StringView("dograb"), false },
};

// The Qt option `argument` names ("-style", "--style" or "-style=fusion"), or nullptr.
const QtOption *qtOption(const QString &argument, bool *valueAttached)
{
    QStringView name = argument;
    name = name.sliced(name.startsWith(QLatin1StringView("--")) ? 2 : 1);
    const qsizetype equals = name.indexOf(u'=');
    *valueAttached = equals >= 0;
    if (equals >= 0)
        name = name.first(equals);
    for (const QtOption &option : kQtOptions)
        if (name == option.name)
            return &option;
    return nullptr;
}

Request failure(const QString &error)
{
    Request request;
    request.error = error;
    return request;
}

} // namespace

Request parse(const QStringList &arguments)
{
    Request request;
    request.action = Request::Action::Run;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        const bool isOption = !optionsEnded && argument.size() > 1 && argument.startsWith(u'-');
        if (!isOption) {
            if (!request.file.isEmpty())
                return failure(QStringLiteral("only one file can be opened: \"%1\" and \"%2\" were given")
                                   .arg(request.file, argument));
            request.file = argument;
            continue;
        }
        if (argument == QLatin1StringView("--")) {
            optionsEnded = true;
        } else if (argument == QLatin1StringView("--help") || argument == QLatin1StringView("-h")) {
            Request help;
            help.action = Request::Action::Help;
            return help;
        } else if (argument == QLatin1StringView("--version") || argument == QLatin1StringView("-v")) {
            Request version;
            version.action = Request::Action::Version;
            return version;
        } else {
            bool valueAttached = false;
            const QtOption *option = qtOption(argument, &valueAttached);
            if (!option)
                return failure(QStringLiteral("unknown option \"%1\"").arg(argument));
            if (option->takesValue && !valueAttached && ++i >= arguments.size())
                return failure(QStringLiteral("the option \"%1\" needs a value").arg(argument));
        }
    }
    return request;
}

QString helpText()
{
    return QStringLiteral(
        "Usage: ferox-ini-editor [FILE]\n"
        "Adds game entries to the Ferox.ini beside the program and edits emulator settings files.\n"
        "\n"
        "  FILE           open the INI editor on FILE at once (the main window opens too)\n"
        "  -h, --help     show this help and exit\n"
        "  -v, --version  show the program's name and version and exit\n"
        "\n"
        "The usual options of Qt programs (-platform, -style, -display, ...) are accepted as well.\n");
}

QString versionText()
{
    return QStringLiteral("Ferox64 INI Editor %1\n").arg(QLatin1StringView(buildinfo::kVersion));
}

} // namespace commandline
