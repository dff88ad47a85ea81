// Identifiers of the program's resources and of the dialog's controls.
#pragma once

#define IDI_APP_ICON 101
#define IDI_APP_ICON_COPY 102
#define IDB_BANNER 103
#define IDD_MAIN_DIALOG 201
#define IDC_START 301
#define IDC_CLOSE 302
#define IDC_UPPER_LABEL 303
#define IDC_LOWER_LABEL 307
