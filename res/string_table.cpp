#include "res/dialog_template.h"
#include "res/resource_ids.h"
#include "res/texts.h"

namespace quorin::res {

std::string_view load_string(int id) {
    switch (id) {
        case IDS_ABOUTBOX:
            return text::kAboutMenuItem;
        case IDP_SOCKETS_INIT_FAILED:
            return text::kSocketsInitFailed;
        default:
            return {};
    }
}

}  // namespace quorin::res
