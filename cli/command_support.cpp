#include "cli/command_support.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "res/cli_texts.h"
#include "settings/field_catalogue.h"

namespace quorin::cli {

namespace T = text::cli;

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QString quoted(const QString& typed) {
    return qs(settings::quoted_value(typed.toStdString()));
}

QString mac_of(const BoardRow& row) {
    return qs(mac_text(row.mac_address));
}

QHostAddress address_of(const std::array<std::uint8_t, 4>& a) {
    return QHostAddress((quint32(a[0]) << 24) | (quint32(a[1]) << 16) | (quint32(a[2]) << 8) |
                        quint32(a[3]));
}

std::unique_ptr<BoardEngine> open_engine(const CommonOptions& o, Output io) {
    auto engine = std::make_unique<BoardEngine>(o.link);
    QString error, warning;
    if (!engine->open(&error, &warning)) {
        io.err << "quorinctl: " << error << '\n';
        return nullptr;
    }
    if (!warning.isEmpty()) io.err << "quorinctl: " << warning << '\n';
    return engine;
}

void print_notes(const SearchResult& r, Output io) {
    for (const QString& to : r.failed_sends) io.err << qs(T::kSendFailed).arg(to) << '\n';
    for (const QString& n : r.notes) io.err << qs(T::kBoardNote).arg(n) << '\n';
}

Resolved resolve(const SearchResult& found, const std::vector<BoardName>& names) {
    Resolved r;
    for (const BoardName& name : names) {
        std::vector<const FoundBoard*> matches;
        for (const FoundBoard& b : found.boards) {
            if (name.mac ? b.row.mac_address == *name.mac : address_of(b.row.local_ip) == name.ip) {
                matches.push_back(&b);
            }
        }
        if (matches.empty()) {
            r.error = qs(T::kBoardNotFound).arg(name.text);
            return r;
        }
        if (matches.size() > 1) {
            QStringList macs;
            for (const FoundBoard* b : matches) macs << mac_of(b->row);
            r.error = qs(T::kBoardAmbiguous).arg(name.text, macs.join(QStringLiteral(", ")));
            return r;
        }
        r.boards.push_back(*matches.front());
    }
    return r;
}

SearchResult search_for(BoardEngine& engine, const CommonOptions& o,
                        const std::vector<BoardName>& names) {
    const bool all_macs =
        std::all_of(names.begin(), names.end(), [](const BoardName& s) { return s.mac; });
    return engine.search(o.wait_ms, [&](const std::vector<FoundBoard>& boards) {
        if (!all_macs) return false;
        return std::all_of(names.begin(), names.end(), [&](const BoardName& s) {
            return std::any_of(boards.begin(), boards.end(),
                               [&](const FoundBoard& b) { return b.row.mac_address == *s.mac; });
        });
    });
}

std::optional<NamedBoards> find_named(const CommonOptions& o, const std::vector<BoardName>& names,
                                      Output io) {
    NamedBoards r;
    r.engine = open_engine(o, io);
    if (!r.engine) return std::nullopt;
    const SearchResult found = search_for(*r.engine, o, names);
    print_notes(found, io);
    Resolved resolved = resolve(found, names);
    if (!resolved.error.isEmpty()) {
        io.err << "quorinctl: " << resolved.error << '\n';
        return std::nullopt;
    }
    r.boards = std::move(resolved.boards);
    return r;
}

std::optional<std::vector<BoardName>> parse_boards(const QStringList& texts, Output io) {
    std::vector<BoardName> names;
    for (const QString& t : texts) {
        const auto name = parse_board(t);
        if (!name) {
            io.err << "quorinctl: " << qs(T::kBadBoard).arg(quoted(t)) << '\n';
            return std::nullopt;
        }
        names.push_back(*name);
    }
    return names;
}

BoardRow as_request(BoardRow row) {
    row.reserved_block = {};
    row.reserved_word = 0;
    row.reserved_text = {};
    for (ChannelBlock& ch : row.channel) {
        ch.reserved = 0;
        ch.connection_status = 0;
    }
    return row;
}

std::optional<Profile> read_profile(const QString& path, QString* error) {
    const auto fail = [error](const QString& message) {
        *error = message;
        return std::optional<Profile>();
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(qs(T::kProfileUnreadable).arg(path, file.errorString()));
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError)
        return fail(qs(T::kProfileNotJson).arg(path, parse.errorString()).arg(parse.offset));
    const QJsonObject root = doc.object();
    const QJsonValue model = root.value(QStringLiteral("model"));
    const QJsonValue values = root.value(QStringLiteral("settings"));
    const QStringList keys = root.keys();
    const bool extra_keys = std::any_of(keys.begin(), keys.end(), [](const QString& k) {
        return k != QLatin1String("model") && k != QLatin1String("settings");
    });
    if (!doc.isObject() || !model.isString() || !values.isObject() || extra_keys)
        return fail(qs(T::kProfileShape).arg(path));
    Profile profile;
    profile.model = model.toString();
    const QJsonObject settings_object = values.toObject();
    for (auto it = settings_object.begin(); it != settings_object.end(); ++it) {
        if (!it.value().isString()) return fail(qs(T::kProfileShape).arg(path));
        settings::Edit e{it.key().toStdString(), it.value().toString().toStdString()};
        if (const std::string why = settings::check_edit(e); !why.empty()) return fail(qs(why));
        profile.edits.push_back(std::move(e));
    }
    profile.sets_address = settings_object.contains(QStringLiteral("local_ip"));
    return profile;
}

}  // namespace quorin::cli
