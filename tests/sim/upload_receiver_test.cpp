// The board's end of both firmware transfers, fed bytes directly: acknowledgements, completion,
// checksums and the transfer fault hooks, whatever way the bytes are split.
#include <gtest/gtest.h>

#include <QCryptographicHash>

#include "sim/upload_receiver.h"

namespace quorin::sim {
namespace {

QByteArray image_of(int size) {
    QByteArray image(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) image[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return image;
}

QByteArray le32(std::uint32_t v) {
    QByteArray b(4, 0);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((v >> (8 * i)) & 0xFFu);
    return b;
}

QByteArray be32(std::uint32_t v) {
    QByteArray b(4, 0);
    for (int i = 0; i < 4; ++i) b[3 - i] = static_cast<char>((v >> (8 * i)) & 0xFFu);
    return b;
}

QByteArray ack(int block, std::uint8_t first = 0x20) {
    QByteArray a;
    a.append(static_cast<char>(first));
    a.append(static_cast<char>(block & 0xFF));
    a.append(static_cast<char>((block >> 8) & 0xFF));
    return a;
}

QString sha(const QByteArray& b) {
    return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex());
}

enum class Split { Whole, ByteByByte, Blocks };

struct Fed {
    QByteArray sent;  // everything the receiver asked to send
    bool close = false;
    int completions = 0;
    std::vector<QJsonObject> events;
};

Fed feed(ImageReceiver& r, const QByteArray& stream, Split split) {
    Fed fed;
    auto take = [&](QByteArrayView piece) {
        ReceiverOutput out = r.feed(piece);
        fed.sent += out.send;
        fed.close = fed.close || out.close;
        fed.completions += out.image_complete ? 1 : 0;
        fed.events.insert(fed.events.end(), out.events.begin(), out.events.end());
    };
    switch (split) {
        case Split::Whole:
            take(stream);
            break;
        case Split::ByteByByte:
            for (qsizetype i = 0; i < stream.size(); ++i) take(QByteArrayView(stream).sliced(i, 1));
            break;
        case Split::Blocks:
            take(QByteArrayView(stream).first(std::min<qsizetype>(4, stream.size())));
            for (qsizetype at = 4; at < stream.size(); at += 1024) {
                take(QByteArrayView(stream).sliced(at,
                                                   std::min<qsizetype>(1024, stream.size() - at)));
            }
            break;
    }
    return fed;
}

int count_events(const Fed& fed, const char* name) {
    int n = 0;
    for (const auto& e : fed.events) n += e.value("event").toString() == QLatin1String(name);
    return n;
}

TEST(AcknowledgedReceiver, AcknowledgesSizeAndEveryBlockWhateverTheSplit) {
    struct Case {
        int size;
        std::vector<int> blocks;
    } const cases[] = {
        {0, {}},
        {1, {1}},
        {1023, {1023}},
        {1024, {1024}},
        {1500, {1024, 476}},
        {2048, {1024, 1024}},
        {5000, {1024, 1024, 1024, 1024, 904}},
    };
    for (const auto& c : cases) {
        for (const Split split : {Split::Whole, Split::ByteByByte, Split::Blocks}) {
            SCOPED_TRACE(testing::Message() << c.size << " bytes, split " << int(split));
            const QByteArray image = image_of(c.size);
            ImageReceiver r(UploadKind::Acknowledged, {});
            const Fed fed = feed(r, le32(static_cast<std::uint32_t>(c.size)) + image, split);

            QByteArray expected = ack(0);
            for (std::size_t b = 1; b <= c.blocks.size(); ++b) expected += ack(static_cast<int>(b));
            EXPECT_EQ(fed.sent.toHex(), expected.toHex());
            EXPECT_FALSE(fed.close);
            EXPECT_EQ(fed.completions, 1);
            EXPECT_TRUE(r.complete());
            EXPECT_EQ(r.declared_size(), static_cast<std::uint32_t>(c.size));
            EXPECT_EQ(r.received(), static_cast<std::uint64_t>(c.size));
            EXPECT_EQ(r.blocks(), static_cast<int>(c.blocks.size()));
            EXPECT_EQ(r.sha256_hex(), sha(image));

            std::vector<int> acked_lengths;
            for (const auto& e : fed.events) {
                if (e.value("event").toString() == "ack_sent")
                    acked_lengths.push_back(e.value("length").toInt());
            }
            std::vector<int> expected_lengths{4};
            expected_lengths.insert(expected_lengths.end(), c.blocks.begin(), c.blocks.end());
            EXPECT_EQ(acked_lengths, expected_lengths);
        }
    }
}

TEST(AcknowledgedReceiver, NotCompleteUntilTheLastByte) {
    const QByteArray image = image_of(2000);
    ImageReceiver r(UploadKind::Acknowledged, {});
    const Fed fed = feed(r, le32(2000) + image.left(1999), Split::Whole);
    EXPECT_EQ(fed.completions, 0);
    EXPECT_EQ(fed.sent.toHex(), (ack(0) + ack(1)).toHex());
    EXPECT_FALSE(r.complete());
}

TEST(AcknowledgedReceiver, StopAcknowledgingAfterNBlocks) {
    FaultConfig f;
    f.ack_stop_after = 1;
    ImageReceiver r(UploadKind::Acknowledged, f);
    const Fed fed = feed(r, le32(3000) + image_of(3000), Split::Blocks);
    EXPECT_EQ(fed.sent.toHex(), (ack(0) + ack(1)).toHex());
    EXPECT_EQ(count_events(fed, "fault"), 1);
    EXPECT_FALSE(fed.close);
}

TEST(AcknowledgedReceiver, AcknowledgeWithAnotherByte) {
    FaultConfig f;
    f.ack_byte = 0x21;
    ImageReceiver r(UploadKind::Acknowledged, f);
    const Fed fed = feed(r, le32(1500) + image_of(1500), Split::Whole);
    EXPECT_EQ(fed.sent.toHex(), (ack(0, 0x21) + ack(1, 0x21) + ack(2, 0x21)).toHex());
    EXPECT_EQ(count_events(fed, "fault"), 1);
}

TEST(AcknowledgedReceiver, CloseAfterNBlocks) {
    struct Case {
        int after;
        QByteArray acks;
        std::uint64_t received;
    } const cases[] = {
        {0, {}, 0},
        {1, ack(0), 1024},
        {2, ack(0) + ack(1), 2048},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        FaultConfig f;
        f.close_after_blocks = c.after;
        ImageReceiver r(UploadKind::Acknowledged, f);
        const Fed fed = feed(r, le32(4000) + image_of(4000), Split::Blocks);
        EXPECT_TRUE(fed.close);
        EXPECT_TRUE(r.closed_by_board());
        EXPECT_EQ(fed.sent.toHex(), c.acks.toHex());
        EXPECT_EQ(r.received(), c.received);
        EXPECT_EQ(count_events(fed, "fault"), 1);
    }
}

TEST(StreamedReceiver, TakesTheBigEndianSizeThenTheBytes) {
    for (const int size : {0, 1, 1024, 1500, 2048, 70000}) {
        for (const Split split : {Split::Whole, Split::ByteByByte, Split::Blocks}) {
            if (split == Split::ByteByByte && size > 5000) continue;
            SCOPED_TRACE(testing::Message() << size << " bytes, split " << int(split));
            const QByteArray image = image_of(size);
            ImageReceiver r(UploadKind::Streamed, {});
            const Fed fed = feed(r, be32(static_cast<std::uint32_t>(size)) + image, split);
            EXPECT_TRUE(fed.sent.isEmpty()) << "nothing is sent back";
            EXPECT_TRUE(fed.close);
            EXPECT_EQ(fed.completions, 1);
            EXPECT_EQ(r.received(), static_cast<std::uint64_t>(size));
            EXPECT_EQ(r.sha256_hex(), sha(image));
        }
    }
}

TEST(StreamedReceiver, BytesAfterTheImageAreNotedNotCounted) {
    ImageReceiver r(UploadKind::Streamed, {});
    const Fed fed = feed(r, be32(10) + image_of(10), Split::Whole);
    ASSERT_TRUE(r.complete());
    const ReceiverOutput more = r.feed(QByteArray("extra"));
    ASSERT_EQ(more.events.size(), 1u);
    EXPECT_EQ(more.events[0].value("event").toString(), "unexpected_bytes");
    EXPECT_EQ(r.received(), 10u);
    EXPECT_EQ(fed.completions, 1);
}

TEST(StreamedReceiver, CloseAfterNBlocks) {
    FaultConfig f;
    f.close_after_blocks = 1;
    ImageReceiver r(UploadKind::Streamed, f);
    const Fed fed = feed(r, be32(3000) + image_of(3000), Split::Whole);
    EXPECT_TRUE(fed.close);
    EXPECT_EQ(fed.completions, 0);
    EXPECT_EQ(r.received(), 1024u);
    EXPECT_EQ(r.sha256_hex(), sha(image_of(3000).left(1024)));
}

}  // namespace
}  // namespace quorin::sim
