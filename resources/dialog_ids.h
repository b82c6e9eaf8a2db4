// Template and control ids of the prompt dialogs, shared by dialogs.rc and the dialog code.
#ifndef ZUK_RESOURCES_DIALOG_IDS_H
#define ZUK_RESOURCES_DIALOG_IDS_H

// Templates.
#define ZUK_DLG_CARD_WAIT 101
#define ZUK_DLG_PIN 102
#define ZUK_DLG_CREDENTIALS 103
#define ZUK_DLG_NO_CARD 104
#define ZUK_DLG_PIN_ERROR 105
#define ZUK_DLG_ACCESSING 106
#define ZUK_DLG_CREDENTIALS_MASKED 115

// Card wait prompt.
#define ZUK_IDC_WAIT_TEXT 1011
#define ZUK_IDC_WAIT_CANCEL 1012

// Credentials prompts (card or typed, typed only).
#define ZUK_IDC_CRED_TEXT1 1021
#define ZUK_IDC_CRED_TEXT2 1022
#define ZUK_IDC_CRED_ID_LABEL 1023
#define ZUK_IDC_CRED_PASSWORD_LABEL 1024
#define ZUK_IDC_CRED_ID 1025
#define ZUK_IDC_CRED_PASSWORD 1026
#define ZUK_IDC_CRED_OK 1027
#define ZUK_IDC_CRED_CANCEL 1028

// PIN prompt.
#define ZUK_IDC_PIN_TEXT 1041
#define ZUK_IDC_PIN_EDIT 1042
#define ZUK_IDC_PIN_OK 1043
#define ZUK_IDC_PIN_CANCEL 1044

// No-card notice.
#define ZUK_IDC_NOCARD_TEXT1 1031
#define ZUK_IDC_NOCARD_TEXT2 1032
#define ZUK_IDC_NOCARD_OK 1033
#define ZUK_IDC_NOCARD_ICON 1010

// PIN error notice.
#define ZUK_IDC_PINERR_TEXT 1051
#define ZUK_IDC_PINERR_OK 1052
#define ZUK_IDC_PINERR_ICON 1011

// Card access window.
#define ZUK_IDC_ACCESS_TEXT 1009

#endif
