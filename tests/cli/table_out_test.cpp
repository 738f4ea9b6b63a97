// The command line's rows: the padded table, CSV as RFC 4180 has it, and when plain text may be
// styled.
#include <gtest/gtest.h>

#include <QString>
#include <QTextStream>

#include "cli/table_out.h"

namespace quorin::cli {
namespace {

TEST(UseStyling, OnlyOnATerminalWhileNoColorIsUnsetOrEmpty) {
    struct Case {
        bool tty;
        const char* no_color;
        bool styled;
    };
    const Case cases[] = {
        {true, nullptr, true},   {true, "", true},   {true, "1", false},  {true, "0", false},
        {false, nullptr, false}, {false, "", false}, {false, "1", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(use_styling(c.tty, c.no_color), c.styled)
            << c.tty << " " << (c.no_color ? c.no_color : "(unset)");
    }
}

TEST(OutputFormat, NamesAsFormatTakesThem) {
    EXPECT_EQ(output_format("table"), OutputFormat::Table);
    EXPECT_EQ(output_format("json"), OutputFormat::Json);
    EXPECT_EQ(output_format("csv"), OutputFormat::Csv);
    EXPECT_EQ(output_format("CSV"), std::nullopt);
    EXPECT_EQ(output_format(""), std::nullopt);
}

TEST(CsvField, QuotedOnlyWhenItHoldsACommaAQuoteOrALineBreak) {
    const std::pair<QString, QString> cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"with space", "with space"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"line\nbreak", "\"line\nbreak\""},
        {"cr\rhere", "\"cr\rhere\""},
        {"Qu\u00f6rin", "Qu\u00f6rin"},
    };
    for (const auto& [text, field] : cases) {
        EXPECT_EQ(csv_field(text).toStdString(), field.toStdString()) << text.toStdString();
    }
}

QString printed(OutputFormat format, const std::vector<QStringList>& rows, bool styled) {
    QString text;
    QTextStream out(&text);
    print_rows(out, format, rows, styled);
    out.flush();
    return text;
}

const std::vector<QStringList> kRows{{"MAC", "MODEL", "NOTE"},
                                     {"02:51:00:02:00:00", "Quorin712P", "a, b"},
                                     {"02:51:00:06:00:01", "DAVRO2xM", ""}};

TEST(PrintRows, CsvHasTheHeadingRowAndEndsEachRecordInCrLf) {
    EXPECT_EQ(printed(OutputFormat::Csv, kRows, true).toStdString(),
              "MAC,MODEL,NOTE\r\n"
              "02:51:00:02:00:00,Quorin712P,\"a, b\"\r\n"
              "02:51:00:06:00:01,DAVRO2xM,\r\n");
}

TEST(PrintRows, TablePadsColumnsAndBoldsTheHeadingOnlyWhenStyled) {
    const std::string plain =
        "MAC                MODEL       NOTE\n"
        "02:51:00:02:00:00  Quorin712P  a, b\n"
        "02:51:00:06:00:01  DAVRO2xM\n";
    EXPECT_EQ(printed(OutputFormat::Table, kRows, false).toStdString(), plain);
    EXPECT_EQ(
        printed(OutputFormat::Table, kRows, true).toStdString(),
        "\x1b[1mMAC                MODEL       NOTE\x1b[0m\n" + plain.substr(plain.find('\n') + 1));
    EXPECT_EQ(printed(OutputFormat::Table, {}, true).toStdString(), "");
}

}  // namespace
}  // namespace quorin::cli
