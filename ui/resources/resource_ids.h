// Resource and control ids shared by the resource script and the dialog code.
// Plain #defines, because the resource compiler reads this file too.
#pragma once

#define IDI_MAIN            108
#define IDI_PASSWORD        113
#define IDI_OVERWRITE       5021

#define IDD_MAIN            101
#define IDD_CHOOSER         1541
#define IDD_OVERWRITE       5021
#define IDD_PASSWORD        111
#define IDD_PROGRESS        112
#define IDD_LICENSE         114

// Main dialog.
#define CTL_TARGET_EDIT     1000
#define CTL_BROWSE          1014
#define CTL_EXTRACT         1
#define CTL_CANCEL          2
#define CTL_ABOUT           3
#define CTL_STATUS_LINE     1005

// Overwrite confirmation.
#define CTL_YES             1
#define CTL_REPLACE_ALL     1030
#define CTL_NO              7
#define CTL_MSG_PLAIN       1001
#define CTL_MSG_READONLY    1002
#define CTL_MSG_SYSTEM      1003
#define CTL_EXISTING_LINE   1011
#define CTL_EXISTING_ICON   1010
#define CTL_ENTRY_LINE      1013
#define CTL_ENTRY_ICON      1012
#define CTL_BYTES_TEMPLATE  1020
#define CTL_KB_TEMPLATE     1021

// Password prompt.
#define CTL_PASSWORD_EDIT   1019
#define CTL_PASSWORD_PROMPT 1018

// Licence dialog.
#define CTL_LICENSE_TEXT    1040
