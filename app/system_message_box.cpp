// The system message box, in the user's language.
#include "app/system_message_box.h"

#include <QAbstractButton>
#include <QMessageBox>

#include "app/resource.h"
#include "ui/resbox.h"

void SystemMessageBox(QWidget* owner, const std::wstring& text, const std::wstring& caption, unsigned) {
  QMessageBox box(QMessageBox::Warning, QString::fromStdWString(caption), QString::fromStdWString(text),
                  QMessageBox::Ok, owner && owner->isVisible() ? owner : nullptr);
  // Without the string table the framework's caption stays: a button with
  // no text would leave the user nothing to read.
  const std::wstring ok = RESBOX::GetString(IDS_STOP_OK);
  if (!ok.empty()) box.button(QMessageBox::Ok)->setText(QString::fromStdWString(ok));
  box.exec();
}
