#include "system/tests/test_code_page.h"

namespace orvane::testing {

#ifdef _WIN32
CodePage Gbk() { return CodePage::Active(); }
#else
CodePage Gbk() { return CodePage(936); }
#endif

}  // namespace orvane::testing
