#include "fleet/manifest.h"

#include <algorithm>
#include <cctype>

#include "fleet/text_reader.h"
#include "protocol/board_record.h"
#include "res/fleet_texts.h"
#include "settings/field_catalogue.h"

namespace quorin::fleet {
namespace {

namespace msg = text::fleet;
using detail::Member;
using settings::fill;
using settings::quoted_value;

constexpr std::size_t kDigestDigits = 64;

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool is_digest(std::string_view text) {
    return text.size() == kDigestDigits &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

}  // namespace

ReadResult<Manifest> read_manifest(std::string_view text) {
    return detail::guarded<Manifest>([&] {
        if (text.size() > kMaxManifestBytes) {
            throw detail::Refusal{std::string(msg::kTopLevel) + ": " +
                                  fill(msg::kTextTooLong, {std::to_string(kMaxManifestBytes)})};
        }
        const detail::TextReader r(text);
        if (!r.json()) r.refuse(r.top(), std::string(msg::kNotJson));
        const auto top = r.members(r.root(), r.top(),
                                   {"format_version", "version", "models", "sha256", "min_from"},
                                   {"format_version", "version", "models", "sha256"});
        const Member& format = *detail::find(top, "format_version");
        if (const std::string v = r.value(format); v != std::to_string(kFormatVersion)) {
            r.refuse(format.at, fill(msg::kBadFormatVersion, {quoted_value(v)}));
        }
        const auto version_of = [&](const Member& m) {
            std::string v = r.value(m);
            if (!compare_versions(v, v)) r.refuse(m.at, fill(msg::kBadVersion, {quoted_value(v)}));
            return v;
        };
        Manifest manifest;
        manifest.version = version_of(*detail::find(top, "version"));
        const Member& models = *detail::find(top, "models");
        for (const detail::Item& item : r.items(models.node, models.at)) {
            std::string name = r.value(item.node, item.at);
            if (!product_code_for_model(name)) {
                r.refuse(item.at,
                         fill(msg::kUnknownModel, {quoted_value(name), detail::model_names()}));
            }
            manifest.models.push_back(std::move(name));
        }
        if (manifest.models.empty()) r.refuse(models.at, std::string(msg::kManifestNoModels));
        const Member& sha = *detail::find(top, "sha256");
        const std::string digest = r.value(sha);
        if (!is_digest(digest)) r.refuse(sha.at, fill(msg::kBadDigest, {quoted_value(digest)}));
        manifest.sha256 = lower(digest);
        if (const Member* from = detail::find(top, "min_from")) {
            manifest.min_from = version_of(*from);
            if (*compare_versions(manifest.min_from, manifest.version) > 0) {
                r.refuse(from->at,
                         fill(msg::kMinFromAboveVersion,
                              {quoted_value(manifest.min_from), quoted_value(manifest.version)}));
            }
        }
        return manifest;
    });
}

bool digest_matches(const Manifest& manifest, std::string_view digest) {
    return is_digest(digest) && lower(digest) == manifest.sha256;
}

ManifestVerdict judge_board(const Manifest& manifest, std::string_view model,
                            std::string_view firmware, const ManifestOverrides& overrides) {
    const bool listed =
        std::find(manifest.models.begin(), manifest.models.end(), model) != manifest.models.end();
    if (!listed && !overrides.ignore_compatible) {
        return {ManifestVerdict::Refuse, ManifestVerdict::ModelNotListed,
                fill(msg::kModelNotListed, {std::string(model), manifest.version})};
    }
    const auto order = compare_versions(firmware, manifest.version);
    if (!order) {
        return {ManifestVerdict::Refuse, ManifestVerdict::VersionUnknown,
                fill(msg::kBoardVersionUnknown, {quoted_value(firmware)})};
    }
    if (*order == 0) {
        if (overrides.reinstall) return {};
        return {ManifestVerdict::Skip, ManifestVerdict::AlreadyAtVersion,
                fill(msg::kAlreadyAtVersion, {manifest.version})};
    }
    if (*order > 0) {
        if (overrides.allow_older) return {};
        return {ManifestVerdict::Refuse, ManifestVerdict::Newer,
                fill(msg::kBoardNewer, {std::string(firmware), manifest.version})};
    }
    if (!manifest.min_from.empty() && *compare_versions(firmware, manifest.min_from) < 0) {
        return {
            ManifestVerdict::Refuse, ManifestVerdict::BelowMinFrom,
            fill(msg::kBelowMinFrom, {std::string(firmware), manifest.version, manifest.min_from})};
    }
    return {};
}

}  // namespace quorin::fleet
