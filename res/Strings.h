#pragma once

namespace res {

// The string table: the text of a string resource, or "" when there is none.
const char* LoadString(int id);

// The maker's web site, opened by "Go to Quillware &website": the build
// setting COILRUNNER_HOMEPAGE (cmake/Install.cmake).
extern const char* const kWebsite;

} // namespace res
