// A firmware image's manifest (IMAGE.bin.json beside the image, or a file of its own): which
// version the image installs, on which models, from which version on, and the image's SHA-256.
// Read as text and decided on per board, without Qt or I/O: the faces read the files, hash the
// image and carry the verdicts out.
//
//   {"format_version": 1, "version": "1.6.2", "models": ["Quorin712P", "DAVRO2xM"],
//    "sha256": "<64 hexadecimal digits>", "min_from": "1.5.0"}      (min_from optional)
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/site_file.h"

namespace quorin::fleet {

// The longest manifest read (a real one is a few hundred bytes).
inline constexpr std::size_t kMaxManifestBytes = 64u << 10;

struct Manifest {
    std::string version;              // what the image installs, as "1.6.2"
    std::vector<std::string> models;  // model names, as the window shows them
    std::string sha256;               // lower-case hexadecimal
    std::string min_from;             // the lowest version it upgrades from; empty: any
};

// Refuses, saying where: an unknown or missing member, a version text that is not one, a model
// the tool does not know, a digest that is not 64 hexadecimal digits, min_from above version.
ReadResult<Manifest> read_manifest(std::string_view text);

// True when `digest` (hexadecimal, either case) is the manifest's.
bool digest_matches(const Manifest& manifest, std::string_view digest);

// What the operator allows beyond the manifest.
struct ManifestOverrides {
    bool ignore_compatible = false;  // upload to a model the manifest does not list
    bool reinstall = false;          // upload to a board already at the version
    bool allow_older = false;        // upload to a board newer than the version
};

struct ManifestVerdict {
    enum Kind { Upload, Skip, Refuse };
    // What decided it, so that a face can say which override would change it.
    enum Why { Fits, ModelNotListed, VersionUnknown, AlreadyAtVersion, Newer, BelowMinFrom };
    Kind kind = Upload;
    Why why = Fits;
    std::string reason;  // for Skip and Refuse: why, naming the versions or the model
};

// The verdict on a board of `model` at firmware `firmware` (a version text; one that is not
// refuses the board, as its version cannot be compared).
ManifestVerdict judge_board(const Manifest& manifest, std::string_view model,
                            std::string_view firmware, const ManifestOverrides& overrides);

}  // namespace quorin::fleet
