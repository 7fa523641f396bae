#include "FormsHarness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>
#include <memory>

namespace harness {

bool Click(QWidget* root, const QString& buttonName) {
  auto* button = Find<QAbstractButton>(root, buttonName);
  if (button == nullptr) return false;
  button->click();
  return true;
}

bool Type(QWidget* root, const QString& editName, const QString& text) {
  auto* edit = Find<QLineEdit>(root, editName);
  if (edit == nullptr) return false;
  edit->setText(text);
  return true;
}

QString EditText(QWidget* root, const QString& editName) {
  auto* edit = Find<QLineEdit>(root, editName);
  return edit != nullptr ? edit->text() : QString();
}

bool Choose(QWidget* root, const QString& comboName, int index) {
  auto* combo = Find<QComboBox>(root, comboName);
  if (combo == nullptr) return false;
  combo->setCurrentIndex(index);
  emit combo->activated(index);
  return true;
}

QString LabelText(QWidget* root, const QString& labelName) {
  auto* label = Find<QLabel>(root, labelName);
  return label != nullptr ? label->text() : QString();
}

bool IsChecked(QWidget* root, const QString& checkBoxName) {
  auto* box = Find<QCheckBox>(root, checkBoxName);
  return box != nullptr && box->isChecked();
}

bool SetChecked(QWidget* root, const QString& checkBoxName, bool checked) {
  auto* box = Find<QCheckBox>(root, checkBoxName);
  if (box == nullptr) return false;
  box->setChecked(checked);
  return true;
}

QString StatusPanel(QWidget* root, int index) {
  auto* bar = Find<TStatusBar>(root, QStringLiteral("StatusBar1"));
  return bar != nullptr ? bar->PanelText(index) : QString();
}

bool Shown(QWidget* root, const QString& name) {
  auto* widget = Find<QWidget>(root, name);
  return widget != nullptr && widget->isVisibleTo(root);
}

void OnNextModal(std::function<void(QWidget* dialog)> action, int timeoutMs) {
  auto* timer = new QTimer;
  auto remaining = std::make_shared<int>(timeoutMs);
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, remaining, action]() {
    QWidget* dialog = QApplication::activeModalWidget();
    *remaining -= 5;
    if (dialog != nullptr && dialog->isVisible()) {
      timer->stop();
      timer->deleteLater();
      action(dialog);
    } else if (*remaining <= 0) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start();
}

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

TConnectionConfig InitialisedConfig(TInterfaceType type, uint8_t moduleAddress) {
  TConnectionConfig config;
  SetConnectionDefaults(&config);
  config.InterfaceType = type;
  config.ModuleAddress = moduleAddress;
  config.DriverHandle = 1;
  config.Initialized = true;
  return config;
}

}  // namespace harness
