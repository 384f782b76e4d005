#pragma once

namespace res {

// The string table: the text of a string resource, or "" when there is none.
const char* LoadString(int id);

// The maker's web site, opened by "Go to Quillware &website".
constexpr const char* kWebsite = "https://www.example.com/";

} // namespace res
