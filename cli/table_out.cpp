#include "cli/table_out.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace quorin::cli {

std::optional<OutputFormat> output_format(std::string_view name) {
    if (name == "table") return OutputFormat::Table;
    if (name == "json") return OutputFormat::Json;
    if (name == "csv") return OutputFormat::Csv;
    return std::nullopt;
}

bool use_styling(bool stdout_is_tty, const char* no_color_env) {
    return stdout_is_tty && (no_color_env == nullptr || *no_color_env == '\0');
}

bool stdout_styling() {
    return use_styling(::isatty(STDOUT_FILENO) != 0, std::getenv("NO_COLOR"));
}

void print_table(QTextStream& out, const std::vector<QStringList>& rows, bool bold_heading) {
    std::vector<qsizetype> width;
    for (const QStringList& r : rows) {
        width.resize(std::max(width.size(), static_cast<std::size_t>(r.size())), 0);
        for (qsizetype i = 0; i < r.size(); ++i) {
            width[static_cast<std::size_t>(i)] =
                std::max(width[static_cast<std::size_t>(i)], r[i].size());
        }
    }
    bool first = true;
    for (const QStringList& r : rows) {
        QString line;
        for (qsizetype i = 0; i < r.size(); ++i) {
            line += i + 1 < r.size() ? r[i].leftJustified(width[static_cast<std::size_t>(i)] + 2)
                                     : r[i];
        }
        if (first && bold_heading) {
            out << "\x1b[1m" << line.trimmed() << "\x1b[0m\n";
        } else {
            out << line.trimmed() << '\n';
        }
        first = false;
    }
}

QString csv_field(const QString& text) {
    const bool quote = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                       text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    if (!quote) return text;
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

void print_csv(QTextStream& out, const std::vector<QStringList>& rows) {
    for (const QStringList& r : rows) {
        for (qsizetype i = 0; i < r.size(); ++i) {
            if (i != 0) out << ',';
            out << csv_field(r[i]);
        }
        out << "\r\n";
    }
}

void print_rows(QTextStream& out, OutputFormat format, const std::vector<QStringList>& rows,
                bool styled) {
    if (format == OutputFormat::Csv) {
        print_csv(out, rows);
    } else {
        print_table(out, rows, styled);
    }
}

}  // namespace quorin::cli
