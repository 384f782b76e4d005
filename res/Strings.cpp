#include "res/Strings.h"
#include "res/Homepage.h"
#include "res/resource.h"

namespace res {

const char* const kWebsite = COILRUNNER_HOMEPAGE;

const char* LoadString(int id)
{
    switch (id) {
    case IDS_ABOUTBOX: return "Inf&o about Coilrunner...";
    default: return "";
    }
}

} // namespace res
