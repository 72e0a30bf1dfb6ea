#pragma once

namespace quorvel::Links {

// The online help. Pages link into its sections with a fragment ("#closed-lid-mode").
inline constexpr auto help = "https://quorvel.app/quorvel/help/";

} // namespace quorvel::Links
