// CompleteView: the wizard's last page — the result text and, after a
// successful installation, the offer of shortcuts to the agent on the desktop
// and in the Start menu. Also the shortcut creation.
#pragma once

#include <QFont>
#include <QWidget>

#include <cstdint>
#include <string>

#include "ui/d2d1_label.h"
#include "ui/trans_button.h"

class CompleteView : public QWidget {
  Q_OBJECT

 public:
  explicit CompleteView(QWidget* parent);

  bool OnInitDialog();
  void InitControls();

  // The form after a failed installation: `message` as the result text, the
  // check box hidden and the shortcut offer (with its painted question)
  // withdrawn.
  void ShowFailure(const std::wstring& message);

  // The agent's shortcuts on the current user's desktop and in the
  // "Brimvale" folder of the all-users programs menu; failures leave a
  // shortcut missing.
  void CreateShortcuts();

  bvlui::D2D1Label m_messageLabel;
  CTransButton m_shortcutCheck;
  std::int32_t m_offerShortcut = 1;
  QFont m_font;

  // Where the shortcut question is painted: beside the check box.
  QRect QuestionRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
