#include "sim/sim_options.h"

#include <QCommandLineParser>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

#include "sim/board_json.h"

namespace quorin::sim {

namespace {

bool fail(QString* error, const QString& message) {
    if (error) *error = message;
    return false;
}

bool read_port(const QCommandLineParser& parser, const QString& name, quint16& port,
               QString* error) {
    if (!parser.isSet(name)) return true;
    bool ok = false;
    const uint value = parser.value(name).toUInt(&ok);
    if (!ok || value > 65535) {
        return fail(error, QStringLiteral("--%1: expected a port number 0..65535").arg(name));
    }
    port = static_cast<quint16>(value);
    return true;
}

bool read_ms(const QCommandLineParser& parser, const QString& name, int& ms, QString* error) {
    if (!parser.isSet(name)) return true;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < 0)
        return fail(error, QStringLiteral("--%1: expected milliseconds").arg(name));
    ms = value;
    return true;
}

}  // namespace

std::optional<SimSetup> parse_command_line(const QStringList& arguments, QString* error,
                                           bool* help) {
    if (help) *help = false;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated serial-to-Ethernet boards: they answer the configuration datagrams of both\n"
        "protocols and take firmware images over TCP; a board that took a whole image reboots\n"
        "(--reboot-ms) and answers again with the version --installs names. Prints\n"
        "\"ready main=PORT legacy=PORT\" once listening; stops on SIGTERM/SIGINT or after\n"
        "--duration."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("boards"),
         QStringLiteral("Boards to simulate: CODE:COUNT items separated by commas, e.g. 0002:40, "
                        "all:3 (every known model), 0107:1 (a code outside the table). "
                        "Repeatable. Default all:1 unless --config is given."),
         QStringLiteral("text")},
        {QStringLiteral("config"),
         QStringLiteral("Boards file (JSON) to load before the --boards boards."),
         QStringLiteral("file")},
        {QStringLiteral("fault"),
         QStringLiteral("Fault hook for some boards: INDEXES:NAME[=VALUE], INDEXES like 0,3-5 or "
                        "all. Names: search_twice, reply_delay_ms=MS, truncate_reply=N, "
                        "wrong_opcode=OP, ack_stop_after=N, ack_byte=B, refuse_upload, "
                        "close_after_blocks=N, no_upload_complete, ignore_set, "
                        "upgrade_keeps_version, upgrade_changes_settings, upgrade_never_returns. "
                        "Repeatable."),
         QStringLiteral("text")},
        {QStringLiteral("main-port"), QStringLiteral("UDP port of the main protocol (0: any)."),
         QStringLiteral("port"), QString::number(kMainPort)},
        {QStringLiteral("legacy-port"), QStringLiteral("UDP port of the legacy protocol (0: any)."),
         QStringLiteral("port"), QString::number(kLegacyBoardPort)},
        {QStringLiteral("upload-port"),
         QStringLiteral("TCP port of the acknowledged firmware transfer."), QStringLiteral("port"),
         QString::number(kAckUploadPort)},
        {QStringLiteral("stream-port"),
         QStringLiteral("TCP port of the streamed (legacy) firmware transfer."),
         QStringLiteral("port"), QString::number(kStreamUploadPort)},
        {QStringLiteral("bind"), QStringLiteral("Local address of the UDP sockets."),
         QStringLiteral("address"), QStringLiteral("0.0.0.0")},
        {QStringLiteral("board-net"),
         QStringLiteral("Base address of the boards' local_ip: board i gets BASE+1+i, 254 per "
                        "/24 (default 127.0.1.0)."),
         QStringLiteral("address")},
        {QStringLiteral("events"),
         QStringLiteral("Write the JSON-lines event log to this file (- for standard error)."),
         QStringLiteral("file")},
        {QStringLiteral("duration"), QStringLiteral("Stop after this many seconds."),
         QStringLiteral("seconds")},
        {QStringLiteral("complete-delay"),
         QStringLiteral("Milliseconds from the last acknowledged block to the upload-complete "
                        "report (default 300)."),
         QStringLiteral("ms")},
        {QStringLiteral("upload-timeout"),
         QStringLiteral("Milliseconds a firmware listener or connection may stay idle "
                        "(default 30000)."),
         QStringLiteral("ms")},
        {QStringLiteral("installs"),
         QStringLiteral("Firmware version a whole image installs, as the tool shows it (e.g. "
                        "1.6.2); a board answers with it after its reboot. Default: each board "
                        "keeps its version."),
         QStringLiteral("version")},
        {QStringLiteral("reboot-ms"),
         QStringLiteral("Milliseconds a board that took a whole image reboots, answering no "
                        "datagram (default 1000; 0: no silence)."),
         QStringLiteral("ms")},
        {QStringLiteral("print-boards"),
         QStringLiteral("List the boards (index, MAC, product, local_ip) and exit.")},
        {QStringLiteral("dump-config"),
         QStringLiteral("Write the boards as a boards file (- for standard output) and exit."),
         QStringLiteral("file")},
    });

    if (!parser.parse(arguments)) {
        fail(error, parser.errorText());
        return std::nullopt;
    }
    if (parser.isSet(helpOption)) {
        if (help) *help = true;
        fail(error, parser.helpText());
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        fail(error,
             QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));
        return std::nullopt;
    }

    SimSetup setup;
    std::array<std::uint8_t, 4> net = kDefaultBoardNet;
    if (parser.isSet(QStringLiteral("board-net"))) {
        const auto parsed = parse_ipv4(parser.value(QStringLiteral("board-net")).toStdString());
        if (!parsed) {
            fail(error, QStringLiteral("--board-net: expected an IPv4 address such as 10.99.0.0"));
            return std::nullopt;
        }
        net = *parsed;
        net[3] = 0;
    }

    if (parser.isSet(QStringLiteral("config"))) {
        const QString path = parser.value(QStringLiteral("config"));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            fail(error,
                 QStringLiteral("--config: cannot read %1: %2").arg(path, file.errorString()));
            return std::nullopt;
        }
        QJsonParseError parse_error;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parse_error);
        if (document.isNull()) {
            fail(error, QStringLiteral("--config %1: %2 at offset %3")
                            .arg(path, parse_error.errorString())
                            .arg(parse_error.offset));
            return std::nullopt;
        }
        QString message;
        auto boards = boards_from_json(document, net, 0, &message);
        if (!boards) {
            fail(error, QStringLiteral("--config %1: %2").arg(path, message));
            return std::nullopt;
        }
        setup.boards = std::move(*boards);
    }

    QStringList lists = parser.values(QStringLiteral("boards"));
    if (lists.isEmpty() && !parser.isSet(QStringLiteral("config"))) {
        lists << QLatin1String(kDefaultBoards);
    }
    for (const QString& text : lists) {
        std::string message;
        const auto codes = parse_board_list(text.toStdString(), &message);
        if (!codes) {
            fail(error, QStringLiteral("--boards: ") + QString::fromStdString(message));
            return std::nullopt;
        }
        for (const auto& code : *codes) {
            const int index = static_cast<int>(setup.boards.size());
            setup.boards.push_back({default_board_row(code, index, board_address(net, index)), {}});
        }
    }

    for (const QString& text : parser.values(QStringLiteral("fault"))) {
        std::string message;
        const auto rule = parse_fault_rule(text.toStdString(), &message);
        if (!rule) {
            fail(error, QStringLiteral("--fault: ") + QString::fromStdString(message));
            return std::nullopt;
        }
        std::vector<int> targets = rule->indexes;
        if (rule->all) {
            for (std::size_t i = 0; i < setup.boards.size(); ++i)
                targets.push_back(static_cast<int>(i));
        }
        for (const int index : targets) {
            if (index >= static_cast<int>(setup.boards.size())) {
                fail(error, QStringLiteral("--fault %1: there is no board %2 (%3 boards)")
                                .arg(text)
                                .arg(index)
                                .arg(setup.boards.size()));
                return std::nullopt;
            }
            set_fault(setup.boards[static_cast<std::size_t>(index)].faults, rule->name, rule->value,
                      nullptr);
        }
    }

    SimConfig& config = setup.config;
    if (!config.bind_address.setAddress(parser.value(QStringLiteral("bind")))) {
        fail(error, QStringLiteral("--bind: not an address"));
        return std::nullopt;
    }
    if (!read_port(parser, QStringLiteral("main-port"), config.main_port, error) ||
        !read_port(parser, QStringLiteral("legacy-port"), config.legacy_port, error) ||
        !read_port(parser, QStringLiteral("upload-port"), config.upload_port, error) ||
        !read_port(parser, QStringLiteral("stream-port"), config.stream_port, error) ||
        !read_ms(parser, QStringLiteral("complete-delay"), config.complete_delay_ms, error) ||
        !read_ms(parser, QStringLiteral("upload-timeout"), config.upload_timeout_ms, error) ||
        !read_ms(parser, QStringLiteral("reboot-ms"), config.reboot_ms, error)) {
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("installs"))) {
        const QString text = parser.value(QStringLiteral("installs"));
        config.installs = parse_firmware_text(text.toStdString());
        if (!config.installs) {
            fail(error, QStringLiteral("--installs: %1 is not a version the tool shows (such as "
                                       "1.6.2, 1.5.0 or 2.1.0)")
                            .arg(text));
            return std::nullopt;
        }
    }
    if (parser.isSet(QStringLiteral("duration"))) {
        bool ok = false;
        setup.duration_s = parser.value(QStringLiteral("duration")).toDouble(&ok);
        if (!ok || setup.duration_s <= 0) {
            fail(error, QStringLiteral("--duration: expected a positive number of seconds"));
            return std::nullopt;
        }
    }
    setup.events_path = parser.value(QStringLiteral("events"));
    setup.print_boards = parser.isSet(QStringLiteral("print-boards"));
    setup.dump_config_path = parser.value(QStringLiteral("dump-config"));
    return setup;
}

QStringList board_listing(const std::vector<SimBoard>& boards) {
    QStringList lines;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        const SimBoard& b = boards[i];
        const BoardLayout layout = b.layout();
        lines << QStringLiteral("%1 %2 %3 %4 %5 %6")
                     .arg(i)
                     .arg(QString::fromStdString(mac_address_text(b.row.mac_address)),
                          QString::fromStdString(product_code_string(b.row.product_code)),
                          QString::fromStdString(ipv4_text(b.row.local_ip)),
                          layout.protocol == BoardProtocol::Legacy ? QStringLiteral("legacy")
                                                                   : QStringLiteral("main"))
                     .arg(layout.length);
    }
    return lines;
}

}  // namespace quorin::sim
