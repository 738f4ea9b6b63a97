#include "sim/upload_receiver.h"

#include <algorithm>

namespace quorin::sim {

namespace {

QJsonObject note(const char* event) {
    QJsonObject o;
    o.insert(QStringLiteral("event"), QLatin1String(event));
    return o;
}

QJsonObject fault_note(const char* fault, qint64 value) {
    QJsonObject o = note("fault");
    o.insert(QStringLiteral("fault"), QLatin1String(fault));
    o.insert(QStringLiteral("value"), value);
    return o;
}

}  // namespace

ImageReceiver::ImageReceiver(UploadKind kind, const FaultConfig& faults)
    : kind_(kind), faults_(faults) {}

QString ImageReceiver::sha256_hex() const {
    return QString::fromLatin1(hash_.resultView().toByteArray().toHex());
}

ReceiverOutput ImageReceiver::feed(QByteArrayView bytes) {
    ReceiverOutput out;
    if (phase_ == Phase::Done || phase_ == Phase::Closed) {
        if (!bytes.isEmpty() && !extra_noted_) {
            extra_noted_ = true;
            QJsonObject o = note("unexpected_bytes");
            o.insert(QStringLiteral("length"), bytes.size());
            out.events.push_back(o);
        }
        return out;
    }
    pending_.append(bytes);
    if (phase_ == Phase::Size) take_size(out);
    if (phase_ == Phase::Data) {
        if (kind_ == UploadKind::Acknowledged) {
            take_acknowledged(out);
        } else {
            take_streamed(out);
        }
    }
    return out;
}

void ImageReceiver::take_size(ReceiverOutput& out) {
    if (static_cast<std::size_t>(pending_.size()) < kUploadSizeHeaderLength) return;
    const auto b = [this](int i) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(pending_[i]));
    };
    declared_ = kind_ == UploadKind::Acknowledged ? b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24
                                                  : b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
    pending_.remove(0, kUploadSizeHeaderLength);
    phase_ = Phase::Data;
    QJsonObject o = note("upload_size");
    o.insert(QStringLiteral("declared_size"), static_cast<qint64>(declared_));
    out.events.push_back(o);

    if (faults_.close_after_blocks && *faults_.close_after_blocks == 0) {
        close_for_fault(out);
        return;
    }
    if (kind_ == UploadKind::Acknowledged) acknowledge(out, 0, kUploadSizeHeaderLength);
    if (declared_ == 0) {
        phase_ = Phase::Done;
        out.image_complete = true;
        out.close = kind_ == UploadKind::Streamed;
    }
}

void ImageReceiver::take_acknowledged(ReceiverOutput& out) {
    while (phase_ == Phase::Data) {
        const std::size_t block = static_cast<std::size_t>(
            std::min<std::uint64_t>(kUploadBlockSize, declared_ - received_));
        if (static_cast<std::size_t>(pending_.size()) < block) return;
        hash_.addData(QByteArrayView(pending_).first(static_cast<qsizetype>(block)));
        pending_.remove(0, static_cast<qsizetype>(block));
        received_ += block;
        ++blocks_;
        if (faults_.close_after_blocks && blocks_ >= *faults_.close_after_blocks) {
            close_for_fault(out);
            return;
        }
        acknowledge(out, blocks_, block);
        if (received_ == declared_) {
            phase_ = Phase::Done;
            out.image_complete = true;
        }
    }
}

void ImageReceiver::take_streamed(ReceiverOutput& out) {
    const std::uint64_t limit =
        faults_.close_after_blocks
            ? std::min<std::uint64_t>(
                  declared_,
                  static_cast<std::uint64_t>(*faults_.close_after_blocks) * kUploadBlockSize)
            : declared_;
    const std::size_t take = static_cast<std::size_t>(
        std::min<std::uint64_t>(limit - received_, static_cast<std::uint64_t>(pending_.size())));
    hash_.addData(QByteArrayView(pending_).first(static_cast<qsizetype>(take)));
    pending_.remove(0, static_cast<qsizetype>(take));
    received_ += take;
    if (received_ == declared_) {
        phase_ = Phase::Done;
        out.image_complete = true;
        out.close = true;
    } else if (received_ == limit) {
        close_for_fault(out);
    }
}

void ImageReceiver::acknowledge(ReceiverOutput& out, int block, std::size_t length) {
    if (faults_.ack_stop_after && block > *faults_.ack_stop_after) {
        if (!ack_stop_noted_) {
            ack_stop_noted_ = true;
            out.events.push_back(fault_note("ack_stop_after", *faults_.ack_stop_after));
        }
        return;
    }
    const std::uint8_t first = faults_.ack_byte.value_or(kAckAccepted);
    if (faults_.ack_byte && !ack_byte_noted_) {
        ack_byte_noted_ = true;
        out.events.push_back(fault_note("ack_byte", *faults_.ack_byte));
    }
    out.send.append(static_cast<char>(first));
    out.send.append(static_cast<char>(block & 0xFF));
    out.send.append(static_cast<char>((block >> 8) & 0xFF));
    QJsonObject o = note("ack_sent");
    o.insert(QStringLiteral("block"), block);
    o.insert(QStringLiteral("length"), static_cast<qint64>(length));
    o.insert(QStringLiteral("ack"), first);
    out.events.push_back(o);
}

void ImageReceiver::close_for_fault(ReceiverOutput& out) {
    phase_ = Phase::Closed;
    out.close = true;
    out.events.push_back(fault_note("close_after_blocks", *faults_.close_after_blocks));
}

}  // namespace quorin::sim
