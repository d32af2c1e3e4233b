// The code page the text tests run in: 936 (GBK). The native build names
// it; under Wine it is the active ANSI code page (LANG=zh_CN.UTF-8), so
// the same tests check that both builds give the same codes.
#pragma once

#include "system/code_page.h"

namespace orvane::testing {

CodePage Gbk();

}  // namespace orvane::testing
