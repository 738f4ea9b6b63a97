// Rows of text as the command line prints them: a padded table for people, or CSV (RFC 4180)
// for spreadsheets and scripts. Any command that prints rows (search, plan) goes through here.
#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>
#include <string_view>
#include <vector>

namespace quorin::cli {

// How a command that lists rows prints them.
enum class OutputFormat { Table, Json, Csv };

// "table", "json", "csv" (as --format takes them); nullopt for anything else.
std::optional<OutputFormat> output_format(std::string_view name);

// Whether plain-text output may carry styling (bold, colour): only on a terminal, and only while
// NO_COLOR is unset or empty.
bool use_styling(bool stdout_is_tty, const char* no_color_env);
// use_styling for this process's standard output and environment.
bool stdout_styling();

// Pads each column to its widest cell, two spaces apart; the last column is not padded and no
// line ends in spaces. With `bold_heading` the first row is printed in bold (a terminal's
// escape sequences around the line; the padding is worked out on the plain text).
void print_table(QTextStream& out, const std::vector<QStringList>& rows, bool bold_heading = false);

// One CSV field: as it is, or in double quotes (each quote doubled) when it holds a comma, a
// double quote, CR or LF.
QString csv_field(const QString& text);

// Every row as one CSV record, fields apart by commas, records ending in CRLF.
void print_csv(QTextStream& out, const std::vector<QStringList>& rows);

// A heading row then data rows, as a table (heading in bold when `styled`) or as CSV. JSON is
// each command's own document; `format` is Table or Csv (anything else prints a table).
void print_rows(QTextStream& out, OutputFormat format, const std::vector<QStringList>& rows,
                bool styled);

}  // namespace quorin::cli
