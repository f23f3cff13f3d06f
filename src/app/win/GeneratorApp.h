// The one application object: the panel's dialog object and the application
// record in one. The record is made of the parts each subsystem works on:
// the configuration and the saved state (settings), the driver library, the
// device and the generator values (device). Its constructor runs the whole
// start-up (settings, device, panel); its OnFinalDestroy the whole teardown.
// The panel's handlers are members too; they live in panel/win/GeneratorPanel.cpp.
#pragma once

#include <windows.h>

#include <cstdint>

#include "device/win/DeviceAttach.h"
#include "framework/win/WindowObject.h"
#include "settings/SettingsValues.h"

struct DisplayText;

class GeneratorApp : public DialogWindowObject,
                     public Configuration,
                     public GeneratorDevice,
                     public SavedState {
public:
    // Start-up. Afterwards `window` is the shown panel, or null when the
    // device could not be attached or the panel not created.
    GeneratorApp();
    GeneratorApp(const GeneratorApp&) = delete;
    GeneratorApp& operator=(const GeneratorApp&) = delete;

    const MessageMapEntry* GetMessageMap() const override;
    void OnFinalDestroy() override;
    void OnPaint(HDC, const RECT&) override;

    // Fixed-pitch font of the combo boxes and displays; made by InitPanel
    // and kept for the rest of the process.
    HFONT panelFont = nullptr;
    int32_t generatorOn = 0;  // mirrors the Start box

private:
    static const MessageMapEntry messageMap[];

    // Application handlers.
    int32_t OnCancel();
    int32_t OnDestroy();
    int32_t OnEndSession(WParam ending);

    // The teardown's work (free, release, unload, save), done only once.
    void ReleaseAndSave();
    bool releasedAndSaved = false;

    // Panel handlers (panel/win/GeneratorPanel.cpp).
    int32_t PollDevicePresence();
    int32_t InitPanel();
    int32_t OnStartBox();
    int32_t OnStartKey();
    int32_t OnWrite();
    int32_t OnAutoStartOn();
    int32_t OnAutoStartOff();
    int32_t OnComboCommand(WParam wParam);
    int32_t OnSpin(LParam lParam);
    int32_t OnSlider(LParam lParam);

    // Panel operations.
    void SetupSliderPair(int slider, int spinner, int32_t value, int32_t maximum);
    void RefreshDisplays();
    void ApplyControls();
    void StepFromSpin(HWND from, int slider, int spinner, int32_t& field);
    void ReadSlider(HWND from, int slider, int32_t& field);
    void PrintDisplay(int display, const DisplayText& text);
    void DrawDisplayText(int display, const char* text, COLORREF colour);
};
