// Resource identifiers shared by the .rc file and the code.
#pragma once

#define IDI_ORVANE 1

#define IDD_INPUTBOX 100
#define IDC_INPUTBOX_PROMPT 1001
#define IDC_INPUTBOX_TEXT 1002
