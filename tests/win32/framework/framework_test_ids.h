#pragma once
#define IDD_TEST_DIALOG 201
#define IDC_TEST_EDIT 301
#define IDC_TEST_BUTTON 302
