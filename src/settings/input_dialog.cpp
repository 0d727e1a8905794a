#include "settings/input_dialog.h"

#include "resource.h"

namespace torvane::settings {

void InputDialog::Open() {
    accepted_ = false;
    view_.SetText(IDC_INPUT_CLASS, "");
    view_.SetText(IDC_INPUT_TITLE, "");
}

void InputDialog::Command(int id) {
    if (id == kOk) {
        className_ = view_.Text(IDC_INPUT_CLASS);
        title_ = view_.Text(IDC_INPUT_TITLE);
        accepted_ = true;
        view_.End(1);
    } else if (id == kCancel || id == IDC_CANCEL_BUTTON) {
        view_.End(0);
    }
}

void InputDialog::Release() {
    if (const std::optional<Picked> picked = pick_.Release(view_, windows_)) {
        view_.SetText(IDC_INPUT_CLASS, picked->className);
        view_.SetText(IDC_INPUT_TITLE, picked->title);
    }
}

}  // namespace torvane::settings
