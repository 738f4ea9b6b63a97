// quorinctl-completion TEMPLATE OUTPUT: writes quorinctl's bash completion script, the template
// with its line "@QUORINCTL_FIELD_NAMES@" replaced by the names `set` takes, one quoted word a
// line, taken from the field catalogue at build time so that the list never falls behind it.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "settings/field_catalogue.h"

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::cerr << "usage: quorinctl-completion TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "quorinctl-completion: cannot read " << argv[1] << '\n';
        return 1;
    }
    std::ostringstream script;
    std::string line;
    bool replaced = false;
    while (std::getline(in, line)) {
        const std::size_t at = line.find("@QUORINCTL_FIELD_NAMES@");
        if (at == std::string::npos) {
            script << line << '\n';
            continue;
        }
        // Names hold brackets and dots only, never a quote: single quotes keep them from globbing.
        const std::string indent = line.substr(0, at);
        for (const std::string& name : quorin::settings::settable_field_names()) {
            script << indent << '\'' << name << "'\n";
        }
        replaced = true;
    }
    if (!replaced) {
        std::cerr << "quorinctl-completion: " << argv[1]
                  << " has no @QUORINCTL_FIELD_NAMES@ line\n";
        return 1;
    }
    std::ofstream out(argv[2], std::ios::trunc);
    out << script.str();
    out.close();
    if (!out) {
        std::cerr << "quorinctl-completion: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
