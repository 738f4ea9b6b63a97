// The files quorinctl must not lose: written whole or appended, in a folder made on the way, and a
// failure said with its path instead of a partial file.
#include "cli/state_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace quorin::cli {
namespace {

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

TEST(StateFiles, WrittenWholeReplacedWholeAndAppendedInOrder) {
    QTemporaryDir dir;
    const QString journal = dir.filePath("a/b/journal.json");
    QString error;
    ASSERT_TRUE(write_durably(journal, "first", &error)) << error.toStdString();
    ASSERT_TRUE(write_durably(journal, "second", &error)) << error.toStdString();
    EXPECT_EQ(contents(journal), "second");
    EXPECT_FALSE(QFile::exists(journal + ".part"));

    const QString history = dir.filePath("c/history.jsonl");
    ASSERT_TRUE(append_durably(history, "1\n", &error)) << error.toStdString();
    ASSERT_TRUE(append_durably(history, "2\n", &error)) << error.toStdString();
    EXPECT_EQ(contents(history), "1\n2\n");
    EXPECT_EQ(QFile(history).permissions() & (QFile::ReadOther | QFile::ReadGroup),
              QFile::Permissions());
}

TEST(StateFiles, AFailureNamesThePathAndLeavesNothingBehind) {
    QTemporaryDir dir;
    const QString blocker = dir.filePath("file");
    ASSERT_TRUE(write_durably(blocker, "x", nullptr));
    for (const bool append : {false, true}) {
        QString error;
        const QString path = blocker + "/under/it.json";  // a folder cannot be made in a file
        EXPECT_FALSE(append ? append_durably(path, "y", &error) : write_durably(path, "y", &error));
        EXPECT_TRUE(error.startsWith(QFileInfo(path).absolutePath())) << error.toStdString();
    }
    const QString folder = dir.filePath("folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    QString error;
    EXPECT_FALSE(append_durably(folder, "y", &error));  // the path is a folder
    EXPECT_TRUE(error.startsWith(folder)) << error.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"file"});
}

}  // namespace
}  // namespace quorin::cli
