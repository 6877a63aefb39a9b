#include "cli/arguments.h"

#include "cli/clierror.h"
#include "cli/text.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cmath>

namespace brenvo::cli {

namespace {

const QString kGlobalUsage = QStringLiteral(
    "Options of every command (before or after its name):\n"
    "  --data-dir DIR      the support directory (default: $XDG_DATA_HOME/Brenvo)\n"
    "  --key-store STORE   where the identity key is kept: auto, secret-service or file\n"
    "                      (default: auto, the store that already holds it)\n"
    "  -v, --verbose       show every diagnostic line on standard error (by default\n"
    "                      only warnings and errors)\n"
    "  --log FILE          append every diagnostic line to FILE\n"
    "  -h, --help          show the help of the command\n");

const QString kOverview = QStringLiteral(
    "Usage: brenvo-cli [--data-dir DIR] [--key-store auto|secret-service|file] [-v] [--log FILE] COMMAND [ARGS]\n"
    "\n"
    "Sends files straight to people you exchanged cards with.\n"
    "\n"
    "Commands:\n"
    "  card [--name N] [--address A] [--port P] [-o FILE|-]\n"
    "                      edit your card; print it, or write it to FILE (-: standard output)\n"
    "  import FILE...      add the users of card files; prints each name and fingerprint\n"
    "  users               name, address:port and fingerprint of each user\n"
    "  files [--watch]     the catalogue: id, direction, user, name, size, blocks, state, error\n"
    "  share --to USER FILE...\n"
    "                      offer files and folders to a user (USER: a name or a fingerprint prefix)\n"
    "  pause ID...         pause transfers\n"
    "  resume ID... [--to DIR]\n"
    "                      resume transfers (new downloads go into DIR)\n"
    "  remove ID...        remove records (a partial download is deleted)\n"
    "  run [--no-listen] [--map-port] [--no-upnp] [--no-tor] [--no-direct] [--tor-control PATH] [--tor-torrc FILE] [--no-auto-connect] [--connect USER]... [--accept USER|all]...\n"
    "      [--download-to DIR] [--exit-when-done] [--timeout SECONDS]\n"
    "                      connect, transfer and show progress until stopped\n"
    "  demo [--size BYTES] two peers in temporary folders exchange a generated file\n"
    "\n"
    "While 'brenvo-cli run' or Brenvo uses the support directory, card, import, users,\n"
    "files, share, pause, resume and remove are carried out by that program.\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 usage error, 130 interrupted (SIGINT),\n"
    "143 terminated (SIGTERM).\n"
    "Run 'brenvo-cli COMMAND --help' for the options of a command.\n");

struct CommandHelp {
    QString usage;
    QString text;
};

const QHash<QString, CommandHelp>& commandHelp()
{
    static const QHash<QString, CommandHelp> help{
        {QStringLiteral("card"),
         {QStringLiteral("card [--name N] [--address A] [--port P] [-o FILE|-]"),
          QStringLiteral("Changes the fields given on your own card. Without -o prints the card: name,\n"
                         "address:port and fingerprint, separated by tabs. With -o writes the card file\n"
                         "to FILE (into a directory: under its standard name) and prints your name and\n"
                         "fingerprint; with -o - writes the card file to standard output, nothing else.\n"
                         "\n"
                         "  --name N      the name others see\n"
                         "  --address A   the address others connect to (a host name or a numeric\n"
                         "                address; an empty text removes it)\n"
                         "  --port P      the port you listen on (1-65535)\n"
                         "  -o FILE       where the card file goes\n")}},
        {QStringLiteral("import"),
         {QStringLiteral("import FILE..."),
          QStringLiteral("Adds the users of the card files (a known key updates that user) and prints\n"
                         "each name and fingerprint, for a known key with what changed (\"known,\n"
                         "unchanged\" or \"updated: name A -> B, address ..., port ...\"). Compare the\n"
                         "fingerprint with its owner.\n")}},
        {QStringLiteral("users"),
         {QStringLiteral("users"),
          QStringLiteral("Prints one line per user: name, address:port and fingerprint, separated by tabs.\n")}},
        {QStringLiteral("files"),
         {QStringLiteral("files [--watch]"),
          QStringLiteral("Prints one line per record, fields separated by tabs: id, direction (in: offered\n"
                         "to you, out: offered by you), user, name, size in bytes, blocks done/total,\n"
                         "state (paused, active, done), error (or -), and location (or -).\n"
                         "\n"
                         "  --watch       show the records of the running brenvo-cli run or Brenvo\n"
                         "                live, until Ctrl-C\n")}},
        {QStringLiteral("share"),
         {QStringLiteral("share --to USER FILE..."),
          QStringLiteral("Offers the files to the users given (--to may be repeated; USER is a name or\n"
                         "the beginning of a fingerprint). Prints one line per new record: id, user, name;\n"
                         "a file already offered to the user is not offered again (its record is\n"
                         "printed with a fourth field, \"already offered\"). A folder is offered as\n"
                         "the files inside it and its subfolders, each named by its path from the\n"
                         "folder's own name on (Holiday/2024/a.jpg); symbolic links inside are left out.\n"
                         "The files are sent while 'brenvo-cli run' runs.\n")}},
        {QStringLiteral("pause"),
         {QStringLiteral("pause ID..."),
          QStringLiteral("Pauses the records (an id may be shortened while it stays unique).\n")}},
        {QStringLiteral("resume"),
         {QStringLiteral("resume ID... [--to DIR]"),
          QStringLiteral("Resumes the records; a download that has no place yet goes into DIR (default:\n"
                         "the downloads directory). The transfer runs while 'brenvo-cli run' runs.\n"
                         "\n"
                         "  --to DIR      the directory for new downloads (created when missing)\n")}},
        {QStringLiteral("remove"),
         {QStringLiteral("remove ID..."),
          QStringLiteral("Removes the records. A partial download is deleted; finished downloads and\n"
                         "offered files stay. A removed offer is not taken again from the next list.\n")}},
        {QStringLiteral("run"),
         {QStringLiteral("run [OPTIONS]"),
          QStringLiteral(
              "Runs until stopped (Ctrl-C: exit status 130, SIGTERM: 143; the state is saved and\n"
              "each unfinished transfer named): listens, connects, answers requests, sends and\n"
              "downloads, and shows progress (a bar per transfer on a terminal, event lines otherwise).\n"
              "Other brenvo-cli commands started meanwhile are carried out by this run.\n"
              "\n"
              "  --no-listen            accept no incoming connections\n"
              "  --map-port             ask the gateway (UPnP, else NAT-PMP) to forward the\n"
              "                         listening port\n"
              "  --no-upnp              send no gateway traffic at all\n"
              "  --no-tor               reach nobody through Tor in this run (by default, with tor\n"
              "                         installed, a tor of its own joins the Tor network and\n"
              "                         contacts reach each other at onion addresses)\n"
              "  --no-direct            neither tell contacts reached through Tor our addresses nor\n"
              "                         call theirs (by default a direct connection takes over)\n"
              "  --tor-control PATH     use the tor already running with this control socket\n"
              "  --tor-torrc FILE       add the lines of FILE to the torrc of the tor it starts\n"
              "  --no-auto-connect      connect to nobody without being asked (by default a user\n"
              "                         is connected when there is something to send to or\n"
              "                         download from them, and again after a failure: 5 s,\n"
              "                         then twice as long each time, at most 5 min)\n"
              "  --connect USER         keep connected to USER even with nothing to transfer\n"
              "  --accept USER|all      download what USER (or anyone) offers: new offers only,\n"
              "                         never a download that was paused after it started\n"
              "  --download-to DIR      where accepted downloads go (default: the downloads directory)\n"
              "  --exit-when-done       exit 0 once the users named and those you offer to have\n"
              "                         connected and answered, every accepted download is at its\n"
              "                         place and every offer has been sent and its user disconnected\n"
              "                         (an offer its user removed counts as declined); says every\n"
              "                         20 s what it still waits for\n"
              "  --timeout SECONDS      give up after this long (exit status 1)\n")}},
        {QStringLiteral("demo"),
         {QStringLiteral("demo [--size BYTES]"),
          QStringLiteral("Two peers in temporary folders on 127.0.0.1 exchange cards; one offers a file of\n"
                         "random bytes, the other downloads it. Prints the checksums and the speed.\n"
                         "Nothing outside the temporary folders is read or written.\n"
                         "\n"
                         "  --size BYTES  the size of the file (K, M, G suffixes allowed; default 64M)\n")}},
    };
    return help;
}

const QCommandLineOption kDataDir(QStringLiteral("data-dir"), QString(), QStringLiteral("DIR"));
const QCommandLineOption kKeyStore(QStringLiteral("key-store"), QString(), QStringLiteral("STORE"));
const QCommandLineOption kLog(QStringLiteral("log"), QString(), QStringLiteral("FILE"));
const QCommandLineOption kVerbose(QStringList{QStringLiteral("v"), QStringLiteral("verbose")});
const QCommandLineOption kHelp(QStringList{QStringLiteral("h"), QStringLiteral("help")});
const QCommandLineOption kVersion(QStringLiteral("version"));

QCommandLineOption valued(const QString& name, const QString& valueName)
{
    return QCommandLineOption(name, QString(), valueName);
}

void addGlobalOptions(QCommandLineParser& parser)
{
    parser.addOption(kDataDir);
    parser.addOption(kKeyStore);
    parser.addOption(kLog);
    parser.addOption(kVerbose);
    parser.addOption(kHelp);
}

void readGlobalOptions(const QCommandLineParser& parser, GlobalOptions& global)
{
    if (parser.isSet(kDataDir)) {
        global.dataDir = parser.value(kDataDir);
        if (global.dataDir.isEmpty())
            throw usageError(QStringLiteral("--data-dir needs a directory"));
    }
    if (parser.isSet(kKeyStore)) {
        const std::optional<vortan::KeyStoreChoice> choice = vortan::keyStoreChoiceFromString(parser.value(kKeyStore));
        if (!choice) {
            throw usageError(QStringLiteral("--key-store takes auto, secret-service or file, not \"%1\"")
                                 .arg(printable(parser.value(kKeyStore))));
        }
        global.keyStore = *choice;
    }
    if (parser.isSet(kVerbose))
        global.verbose = true;
    if (parser.isSet(kLog)) {
        global.logFile = parser.value(kLog);
        if (global.logFile.isEmpty())
            throw usageError(QStringLiteral("--log needs a file"));
    }
}

std::uint16_t parsePort(const QString& text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || value == 0 || value > 65535)
        throw usageError(QStringLiteral("--port takes a number from 1 to 65535, not \"%1\"").arg(printable(text)));
    return std::uint16_t(value);
}

void requireOperands(const Invocation& inv, const QString& what)
{
    if (inv.operands.isEmpty())
        throw usageError(QStringLiteral("%1 needs at least one %2").arg(inv.command, what));
}

void requireNoOperands(const Invocation& inv)
{
    if (!inv.operands.isEmpty())
        throw usageError(QStringLiteral("%1 takes no argument \"%2\"").arg(inv.command, printable(inv.operands.first())));
}

}  // namespace

const QStringList& commandNames()
{
    static const QStringList names{
        QStringLiteral("card"),  QStringLiteral("import"), QStringLiteral("users"),  QStringLiteral("files"),
        QStringLiteral("share"), QStringLiteral("pause"),  QStringLiteral("resume"), QStringLiteral("remove"),
        QStringLiteral("run"),   QStringLiteral("demo")};
    return names;
}

QString helpText(const QString& command)
{
    const auto it = commandHelp().constFind(command);
    if (command.isEmpty() || it == commandHelp().cend())
        return kOverview + QLatin1Char('\n') + kGlobalUsage;
    return QStringLiteral("Usage: brenvo-cli [OPTIONS] %1\n\n%2\n%3").arg(it->usage, it->text, kGlobalUsage);
}

Invocation parseArguments(const QStringList& arguments)
{
    Invocation inv;
    const QString program = arguments.value(0, QStringLiteral("brenvo-cli"));

    QCommandLineParser top;
    top.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    top.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    addGlobalOptions(top);
    top.addOption(kVersion);
    if (!top.parse(arguments))
        throw usageError(top.errorText());
    readGlobalOptions(top, inv.global);
    inv.help = top.isSet(kHelp);
    inv.version = top.isSet(kVersion);

    const QStringList rest = top.positionalArguments();
    if (rest.isEmpty()) {
        if (inv.help || inv.version)
            return inv;
        throw usageError(QStringLiteral("no command given"));
    }
    inv.command = rest.first();
    if (!commandNames().contains(inv.command))
        throw usageError(QStringLiteral("unknown command \"%1\"").arg(printable(inv.command)));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    addGlobalOptions(parser);
    const QCommandLineOption name = valued(QStringLiteral("name"), QStringLiteral("N"));
    const QCommandLineOption address = valued(QStringLiteral("address"), QStringLiteral("A"));
    const QCommandLineOption port = valued(QStringLiteral("port"), QStringLiteral("P"));
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")}, QString(),
                                    QStringLiteral("FILE"));
    const QCommandLineOption to = valued(QStringLiteral("to"), QStringLiteral("USER|DIR"));
    const QCommandLineOption noListen(QStringLiteral("no-listen"));
    const QCommandLineOption mapPort(QStringLiteral("map-port"));
    const QCommandLineOption noUpnp(QStringLiteral("no-upnp"));
    const QCommandLineOption noTor(QStringLiteral("no-tor"));
    const QCommandLineOption noDirect(QStringLiteral("no-direct"));
    const QCommandLineOption torControl = valued(QStringLiteral("tor-control"), QStringLiteral("PATH"));
    const QCommandLineOption torTorrc = valued(QStringLiteral("tor-torrc"), QStringLiteral("FILE"));
    const QCommandLineOption noAutoConnect(QStringLiteral("no-auto-connect"));
    const QCommandLineOption connect = valued(QStringLiteral("connect"), QStringLiteral("USER"));
    const QCommandLineOption accept = valued(QStringLiteral("accept"), QStringLiteral("USER"));
    const QCommandLineOption downloadTo = valued(QStringLiteral("download-to"), QStringLiteral("DIR"));
    const QCommandLineOption exitWhenDone(QStringLiteral("exit-when-done"));
    const QCommandLineOption timeout = valued(QStringLiteral("timeout"), QStringLiteral("SECONDS"));
    const QCommandLineOption size = valued(QStringLiteral("size"), QStringLiteral("BYTES"));
    const QCommandLineOption watch(QStringLiteral("watch"));

    const QString& c = inv.command;
    if (c == QLatin1String("card")) {
        parser.addOptions({name, address, port, output});
    } else if (c == QLatin1String("files")) {
        parser.addOption(watch);
    } else if (c == QLatin1String("share") || c == QLatin1String("resume")) {
        parser.addOption(to);
    } else if (c == QLatin1String("run")) {
        parser.addOptions({noListen, mapPort, noUpnp, noTor, noDirect, torControl, torTorrc, noAutoConnect, connect, accept, downloadTo, exitWhenDone, timeout});
    } else if (c == QLatin1String("demo")) {
        parser.addOption(size);
    }

    QStringList commandArguments{program};
    commandArguments.append(rest);
    if (!parser.parse(commandArguments))
        throw usageError(QStringLiteral("%1: %2").arg(c, parser.errorText()));
    readGlobalOptions(parser, inv.global);
    inv.help = inv.help || parser.isSet(kHelp);
    if (inv.help)
        return inv;
    inv.operands = parser.positionalArguments().mid(1);

    if (c == QLatin1String("card")) {
        requireNoOperands(inv);
        if (parser.isSet(name)) {
            inv.name = parser.value(name);
            if (inv.name->trimmed().isEmpty())
                throw usageError(QStringLiteral("--name needs a name"));
            // Names are printed in tab-separated lines: no control characters.
            if (std::any_of(inv.name->cbegin(), inv.name->cend(), [](QChar ch) { return ch.category() == QChar::Other_Control; }))
                throw usageError(QStringLiteral("--name cannot hold a tab, a line break or another control character"));
        }
        if (parser.isSet(address))
            inv.address = parser.value(address).trimmed();
        if (parser.isSet(port))
            inv.port = parsePort(parser.value(port));
        if (parser.isSet(output)) {
            inv.output = parser.value(output);
            if (inv.output.isEmpty())
                throw usageError(QStringLiteral("-o needs a file"));
        }
    } else if (c == QLatin1String("import")) {
        requireOperands(inv, QStringLiteral("card file"));
    } else if (c == QLatin1String("users") || c == QLatin1String("files")) {
        requireNoOperands(inv);
        inv.watch = c == QLatin1String("files") && parser.isSet(watch);
    } else if (c == QLatin1String("share")) {
        inv.to = parser.values(to);
        if (inv.to.isEmpty())
            throw usageError(QStringLiteral("share needs --to USER"));
        requireOperands(inv, QStringLiteral("file"));
    } else if (c == QLatin1String("pause") || c == QLatin1String("remove")) {
        requireOperands(inv, QStringLiteral("record id"));
    } else if (c == QLatin1String("resume")) {
        requireOperands(inv, QStringLiteral("record id"));
        const QStringList dirs = parser.values(to);
        if (dirs.size() > 1)
            throw usageError(QStringLiteral("resume takes one --to DIR"));
        inv.resumeTo = dirs.value(0);
        if (parser.isSet(to) && inv.resumeTo.isEmpty())
            throw usageError(QStringLiteral("--to needs a directory"));
    } else if (c == QLatin1String("run")) {
        requireNoOperands(inv);
        inv.noListen = parser.isSet(noListen);
        inv.mapPort = parser.isSet(mapPort);
        inv.noUpnp = parser.isSet(noUpnp);
        inv.noTor = parser.isSet(noTor);
        inv.noDirect = parser.isSet(noDirect);
        inv.torControl = parser.value(torControl);
        inv.torTorrc = parser.value(torTorrc);
        if (inv.noTor && (parser.isSet(torControl) || parser.isSet(torTorrc)))
            throw usageError(QStringLiteral("--no-tor turns Tor off; --tor-control and --tor-torrc need it on"));
        if (parser.isSet(torControl) && parser.isSet(torTorrc))
            throw usageError(QStringLiteral("--tor-torrc is for the tor brenvo-cli starts; --tor-control uses one already running"));
        if (parser.isSet(torControl) && inv.torControl.isEmpty())
            throw usageError(QStringLiteral("--tor-control needs a path"));
        inv.noAutoConnect = parser.isSet(noAutoConnect);
        if (inv.mapPort && inv.noUpnp)
            throw usageError(QStringLiteral("--map-port asks the gateway for a mapping; --no-upnp forbids it"));
        if (inv.mapPort && inv.noListen)
            throw usageError(QStringLiteral("--map-port forwards the listening port; --no-listen has none"));
        inv.connect = parser.values(connect);
        inv.accept = parser.values(accept);
        for (const QString& user : inv.connect + inv.accept) {
            if (user.trimmed().isEmpty())
                throw usageError(QStringLiteral("--connect and --accept need a user"));
        }
        const QStringList dirs = parser.values(downloadTo);
        if (dirs.size() > 1)
            throw usageError(QStringLiteral("run takes one --download-to DIR"));
        inv.downloadTo = dirs.value(0);
        if (parser.isSet(downloadTo) && inv.downloadTo.isEmpty())
            throw usageError(QStringLiteral("--download-to needs a directory"));
        inv.exitWhenDone = parser.isSet(exitWhenDone);
        if (parser.isSet(timeout)) {
            bool ok = false;
            const double seconds = parser.value(timeout).toDouble(&ok);
            if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 1e7)
                throw usageError(
                    QStringLiteral("--timeout takes a number of seconds, not \"%1\"").arg(printable(parser.value(timeout))));
            inv.timeoutSeconds = seconds;
        }
    } else if (c == QLatin1String("demo")) {
        requireNoOperands(inv);
        if (parser.isSet(size)) {
            inv.size = parseSize(parser.value(size));
            if (!inv.size)
                throw usageError(QStringLiteral("--size takes a number of bytes, not \"%1\"").arg(printable(parser.value(size))));
        }
    }
    return inv;
}

}  // namespace brenvo::cli
