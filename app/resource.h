#pragma once
// Identifiers shared by the dialog template and the dialog procedure.

#define IDD_INSTALLER 102
#define IDI_APPLICATION_ICON 1

#define IDC_PROGRESS 1001
#define IDC_STATUS 1002
#define IDC_ACTION 1004
#define IDC_DETAIL 1005
#define IDC_EXIT 105
