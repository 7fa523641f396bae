// Test harness for the windows: real widgets on the offscreen platform,
// found by their objectName, driven the way a user would.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "Dekl.h"
#include "FormCommon.h"

namespace harness {

// A child widget by objectName; nullptr when there is none of that type.
template <class T>
T* Find(QWidget* root, const QString& name) {
  return root != nullptr ? root->findChild<T*>(name) : nullptr;
}

// Click a button (QAbstractButton::click, so its clicked signal fires).
// Returns false when there is no such button.
bool Click(QWidget* root, const QString& buttonName);
// Replace the text of a line edit. Returns false when there is no such edit.
bool Type(QWidget* root, const QString& editName, const QString& text);
QString EditText(QWidget* root, const QString& editName);
// Choose an item of a drop-down list as a user would: select it and fire
// activated(index). Returns false when there is no such list.
bool Choose(QWidget* root, const QString& comboName, int index);
QString LabelText(QWidget* root, const QString& labelName);
bool IsChecked(QWidget* root, const QString& checkBoxName);
bool SetChecked(QWidget* root, const QString& checkBoxName, bool checked);
// Text of panel `index` (0 = first) of the window's "StatusBar1".
QString StatusPanel(QWidget* root, int index = 0);
// Widget shown to the user (visible-to-root); false for a missing widget.
bool Shown(QWidget* root, const QString& name);

// Runs `action` on the next modal dialog as soon as it is shown (polling the
// event loop every few ms, for at most timeoutMs). Use it before calling a
// handler that opens a dialog with exec(); the action typically reads the
// dialog and clicks its "Cancel".
void OnNextModal(std::function<void(QWidget* dialog)> action, int timeoutMs = 5000);

// Process pending events a few times (no sleeping for timers).
void Settle();

// A connection record with defaults, marked initialised with a handle, as a
// successful connection would leave it (for windows that only use the link).
TConnectionConfig InitialisedConfig(TInterfaceType type = itComPort, uint8_t moduleAddress = 1);

// UTF-8 literal of the system's texts -> QString (for comparisons).
inline QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace harness
