#include "sim/board_json.h"

#include <QByteArray>
#include <algorithm>

#include "sim/board_fields.h"

namespace quorin::sim {

namespace {

constexpr int kMaxCountPerEntry = 10000;

QString hex_text(std::span<const std::uint8_t> bytes) {
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                          static_cast<qsizetype>(bytes.size()))
                                   .toHex());
}

template <class Rec>
QJsonValue field_to_json(const Rec& rec, const NamedField<Rec>& field) {
    if (const auto value = field_scalar(rec, field.ref)) return static_cast<qint64>(*value);
    const std::span<const std::uint8_t> bytes = field_bytes(rec, field.ref);
    switch (field.form) {
        case FieldForm::Ip: {
            std::array<std::uint8_t, 4> ip{};
            std::copy_n(bytes.begin(), std::min<std::size_t>(4, bytes.size()), ip.begin());
            return QString::fromStdString(ipv4_text(ip));
        }
        case FieldForm::Mac: {
            std::array<std::uint8_t, 6> mac{};
            std::copy_n(bytes.begin(), std::min<std::size_t>(6, bytes.size()), mac.begin());
            return QString::fromStdString(mac_address_text(mac));
        }
        case FieldForm::ProductCode:
        case FieldForm::Hex:
            return hex_text(bytes);
        case FieldForm::Text: {
            const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
            return QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()),
                                       static_cast<qsizetype>(end - bytes.begin()));
        }
        case FieldForm::Number:
            break;
    }
    return {};
}

bool bad(QString* error, const QString& message) {
    if (error) *error = message;
    return false;
}

template <class Rec>
bool field_from_json(Rec& rec, const NamedField<Rec>& field, const QJsonValue& value,
                     const QString& path, QString* error) {
    if (field.form == FieldForm::Number) {
        const double number = value.toDouble(-1);
        const std::uint32_t max = field_max(field.ref);
        if (!value.isDouble() || number < 0 || number > max ||
            number != static_cast<qint64>(number)) {
            return bad(
                error,
                QStringLiteral("%1: expected a whole number from 0 to %2").arg(path).arg(max));
        }
        set_field_scalar(rec, field.ref, static_cast<std::uint32_t>(number));
        return true;
    }
    if (!value.isString()) return bad(error, QStringLiteral("%1: expected a string").arg(path));
    const QString text = value.toString();
    std::span<std::uint8_t> bytes = field_bytes(rec, field.ref);
    switch (field.form) {
        case FieldForm::Ip: {
            const auto ip = parse_ipv4(text.toStdString());
            if (!ip) return bad(error, QStringLiteral("%1: expected a.b.c.d").arg(path));
            std::copy(ip->begin(), ip->end(), bytes.begin());
            return true;
        }
        case FieldForm::Mac: {
            const QStringList parts = text.split(QLatin1Char(':'));
            if (parts.size() != 6)
                return bad(error, QStringLiteral("%1: expected 6 hex pairs").arg(path));
            for (int i = 0; i < 6; ++i) {
                bool ok = false;
                const uint v = parts[i].toUInt(&ok, 16);
                if (!ok || v > 255 || parts[i].size() != 2) {
                    return bad(error, QStringLiteral("%1: expected 6 hex pairs").arg(path));
                }
                bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
            }
            return true;
        }
        case FieldForm::ProductCode: {
            const auto code = parse_product_code(text.toStdString());
            if (!code) return bad(error, QStringLiteral("%1: expected four hex digits").arg(path));
            std::copy(code->begin(), code->end(), bytes.begin());
            return true;
        }
        case FieldForm::Hex: {
            const QByteArray raw = QByteArray::fromHex(text.toLatin1());
            if (raw.size() * 2 != text.size() ||
                static_cast<std::size_t>(raw.size()) > bytes.size()) {
                return bad(
                    error,
                    QStringLiteral("%1: expected up to %2 hex pairs").arg(path).arg(bytes.size()));
            }
            std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
            std::copy(raw.begin(), raw.end(), bytes.begin());
            return true;
        }
        case FieldForm::Text: {
            const QByteArray raw = text.toLatin1();
            if (static_cast<std::size_t>(raw.size()) > bytes.size()) {
                return bad(error,
                           QStringLiteral("%1: at most %2 characters").arg(path).arg(bytes.size()));
            }
            std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
            std::copy(raw.begin(), raw.end(), bytes.begin());
            return true;
        }
        case FieldForm::Number:
            break;
    }
    return true;
}

template <class Rec>
const NamedField<Rec>* find_field(std::span<const NamedField<Rec>> fields, const QString& key) {
    for (const auto& f : fields) {
        if (key == QLatin1String(f.name.data(), static_cast<qsizetype>(f.name.size()))) return &f;
    }
    return nullptr;
}

QString field_name(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

QJsonObject row_to_json(const BoardRow& row) {
    QJsonObject object;
    for (const auto& f : row_fields()) object.insert(field_name(f.name), field_to_json(row, f));
    QJsonArray channels;
    for (const ChannelBlock& ch : row.channel) {
        QJsonObject c;
        for (const auto& f : channel_fields()) c.insert(field_name(f.name), field_to_json(ch, f));
        channels.append(c);
    }
    object.insert(QStringLiteral("channel"), channels);
    return object;
}

QJsonArray changed_fields(const BoardRow& before, const BoardRow& after) {
    QJsonArray names;
    for (const auto& f : row_fields()) {
        if (field_to_json(before, f) != field_to_json(after, f)) names.append(field_name(f.name));
    }
    for (int i = 0; i < kChannelBlocks; ++i) {
        for (const auto& f : channel_fields()) {
            if (field_to_json(before.channel[i], f) != field_to_json(after.channel[i], f)) {
                names.append(QStringLiteral("channel[%1].%2").arg(i).arg(field_name(f.name)));
            }
        }
    }
    return names;
}

bool apply_row_json(const QJsonObject& object, BoardRow& row, const QStringList& ignore,
                    QString* error) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        if (ignore.contains(key)) continue;
        if (key == QLatin1String("channel")) {
            const QJsonArray channels = it.value().toArray();
            if (!it.value().isArray() || channels.size() > kChannelBlocks) {
                return bad(error, QStringLiteral("channel: expected an array of up to 4 objects"));
            }
            for (int i = 0; i < channels.size(); ++i) {
                if (!channels[i].isObject()) {
                    return bad(error, QStringLiteral("channel[%1]: expected an object").arg(i));
                }
                const QJsonObject c = channels[i].toObject();
                for (auto ct = c.begin(); ct != c.end(); ++ct) {
                    const QString path = QStringLiteral("channel[%1].%2").arg(i).arg(ct.key());
                    const auto* field = find_field(channel_fields(), ct.key());
                    if (!field) return bad(error, QStringLiteral("unknown field %1").arg(path));
                    if (!field_from_json(row.channel[i], *field, ct.value(), path, error))
                        return false;
                }
            }
            continue;
        }
        const auto* field = find_field(row_fields(), key);
        if (!field) return bad(error, QStringLiteral("unknown field %1").arg(key));
        if (!field_from_json(row, *field, it.value(), key, error)) return false;
    }
    return true;
}

QJsonObject faults_to_json(const FaultConfig& faults) {
    QJsonObject object;
    if (faults.search_twice) object.insert(QStringLiteral("search_twice"), true);
    if (faults.reply_delay_ms > 0)
        object.insert(QStringLiteral("reply_delay_ms"), faults.reply_delay_ms);
    if (faults.truncate_reply)
        object.insert(QStringLiteral("truncate_reply"), *faults.truncate_reply);
    if (faults.wrong_opcode) object.insert(QStringLiteral("wrong_opcode"), *faults.wrong_opcode);
    if (faults.ack_stop_after)
        object.insert(QStringLiteral("ack_stop_after"), *faults.ack_stop_after);
    if (faults.ack_byte) object.insert(QStringLiteral("ack_byte"), *faults.ack_byte);
    if (faults.refuse_upload) object.insert(QStringLiteral("refuse_upload"), true);
    if (faults.close_after_blocks) {
        object.insert(QStringLiteral("close_after_blocks"), *faults.close_after_blocks);
    }
    if (faults.no_upload_complete) object.insert(QStringLiteral("no_upload_complete"), true);
    if (faults.ignore_set) object.insert(QStringLiteral("ignore_set"), true);
    if (faults.upgrade_keeps_version) object.insert(QStringLiteral("upgrade_keeps_version"), true);
    if (faults.upgrade_changes_settings)
        object.insert(QStringLiteral("upgrade_changes_settings"), true);
    if (faults.upgrade_never_returns) object.insert(QStringLiteral("upgrade_never_returns"), true);
    return object;
}

bool apply_faults_json(const QJsonObject& object, FaultConfig& faults, QString* error) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        QString value;
        if (it.value().isBool()) {
            value = it.value().toBool() ? QStringLiteral("true") : QStringLiteral("false");
        } else if (it.value().isDouble()) {
            value = QString::number(it.value().toInteger(-1));
        } else if (it.value().isString()) {
            value = it.value().toString();
        } else {
            return bad(error,
                       QStringLiteral("faults.%1: expected a number or true/false").arg(it.key()));
        }
        std::string message;
        if (!set_fault(faults, it.key().toStdString(), value.toStdString(), &message)) {
            return bad(error, QString::fromStdString(message));
        }
    }
    return true;
}

QJsonObject board_to_json(const SimBoard& board) {
    QJsonObject object = row_to_json(board.row);
    if (board.faults.any()) object.insert(QStringLiteral("faults"), faults_to_json(board.faults));
    return object;
}

std::optional<std::vector<SimBoard>> boards_from_json(const QJsonDocument& document,
                                                      const std::array<std::uint8_t, 4>& net_base,
                                                      int first_index, QString* error) {
    QJsonArray entries;
    if (document.isArray()) {
        entries = document.array();
    } else if (document.isObject() && document.object().value(QStringLiteral("boards")).isArray()) {
        entries = document.object().value(QStringLiteral("boards")).toArray();
    } else {
        bad(error, QStringLiteral("expected {\"boards\": [...]} or an array of boards"));
        return std::nullopt;
    }
    static const QStringList kEntryKeys = {QStringLiteral("count"), QStringLiteral("faults")};
    std::vector<SimBoard> boards;
    for (qsizetype e = 0; e < entries.size(); ++e) {
        const QString where = QStringLiteral("boards[%1]").arg(e);
        if (!entries[e].isObject()) {
            bad(error, where + QStringLiteral(": expected an object"));
            return std::nullopt;
        }
        const QJsonObject entry = entries[e].toObject();
        const auto code = parse_product_code(
            entry.value(QStringLiteral("product_code")).toString().toStdString());
        if (!code) {
            bad(error, where + QStringLiteral(".product_code: required, four hex digits"));
            return std::nullopt;
        }
        const qint64 count = entry.value(QStringLiteral("count")).toInteger(1);
        if (count < 0 || count > kMaxCountPerEntry) {
            bad(error, where + QStringLiteral(".count: expected 0 to %1").arg(kMaxCountPerEntry));
            return std::nullopt;
        }
        if (count > 1 && (entry.contains(QStringLiteral("mac_address")) ||
                          entry.contains(QStringLiteral("local_ip")))) {
            bad(error, where + QStringLiteral(": mac_address and local_ip need count 1"));
            return std::nullopt;
        }
        for (qint64 k = 0; k < count; ++k) {
            const int index = first_index + static_cast<int>(boards.size());
            SimBoard board;
            board.row = default_board_row(*code, index, board_address(net_base, index));
            QString message;
            if (!apply_row_json(entry, board.row, kEntryKeys, &message) ||
                !apply_faults_json(entry.value(QStringLiteral("faults")).toObject(), board.faults,
                                   &message)) {
                bad(error, where + QStringLiteral(": ") + message);
                return std::nullopt;
            }
            boards.push_back(board);
        }
    }
    return boards;
}

QJsonDocument boards_to_json(const std::vector<SimBoard>& boards) {
    QJsonArray array;
    for (const SimBoard& board : boards) array.append(board_to_json(board));
    QJsonObject root;
    root.insert(QStringLiteral("boards"), array);
    return QJsonDocument(root);
}

}  // namespace quorin::sim
