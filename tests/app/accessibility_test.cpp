// What a screen reader finds in the wizard: every control with a role and a
// name, walked through the accessibility tree from the main window.
#include <QAccessible>

#include <set>
#include <utility>

#include "wizard_fixture.h"

namespace {

using wizard_testing::WizardTest;

// (role, name) of every visible control below the window.
std::set<std::pair<QAccessible::Role, std::wstring>> Announced(QAccessibleInterface* node) {
  std::set<std::pair<QAccessible::Role, std::wstring>> found;
  if (!node) return found;
  for (int i = 0; i < node->childCount(); ++i) {
    QAccessibleInterface* child = node->child(i);
    if (!child || child->state().invisible) continue;
    found.insert({child->role(), child->text(QAccessible::Name).toStdWString()});
    for (const auto& below : Announced(child)) found.insert(below);
  }
  return found;
}

bool Has(const std::set<std::pair<QAccessible::Role, std::wstring>>& found, QAccessible::Role role, const std::wstring& name) {
  return found.count({role, name}) != 0;
}

TEST_F(WizardTest, TheLicenceStateAnnouncesItsButtonsTitleTextAndAgreement) {
  Open();
  const auto found = Announced(QAccessible::queryAccessibleInterface(dialog_.get()));
  EXPECT_TRUE(Has(found, QAccessible::PushButton, L"\ub3d9\uc758\ud568 >")) << "Agree by its caption";
  EXPECT_TRUE(Has(found, QAccessible::PushButton, L"\ucde8\uc18c")) << "Cancel by its caption";
  EXPECT_TRUE(Has(found, QAccessible::PushButton, L"\uc124\uce58 \ud504\ub85c\uadf8\ub7a8 \ub2eb\uae30"))
      << "the close button by what it does";
  EXPECT_TRUE(Has(found, QAccessible::StaticText, L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58\ud558\uae30")) << "title";
  std::wstring intro = RESBOX::GetString(307);
  for (std::size_t at; (at = intro.find(L"\r\n")) != std::wstring::npos;) intro.replace(at, 2, L"\n");
  EXPECT_TRUE(Has(found, QAccessible::StaticText, intro)) << "introduction";
  EXPECT_TRUE(Has(found, QAccessible::EditableText, L"\uc124\uce58 \ubc0f \uc774\uc6a9 \uc57d\uad00")) << "agreement";
  for (const auto& [role, name] : found) {
    if (role == QAccessible::PushButton || role == QAccessible::StaticText) EXPECT_FALSE(name.empty()) << role;
  }
}

TEST_F(WizardTest, TheProgressStateAnnouncesTheBarTheStatusAndTheRows) {
  Open();
  dialog_->OnBnClickedAgree();
  session_->progress->SetStatusText(L"InstallService..");
  session_->progress->AddStatusRow(L"InstallDriver Success", false, 75);
  session_->progress->AddStatusRow(L"InstallService Success", false, 80);
  const auto found = Announced(QAccessible::queryAccessibleInterface(dialog_.get()));
  EXPECT_TRUE(Has(found, QAccessible::ProgressBar, L"\uc124\uce58 \uc9c4\ud589\ub960"));
  EXPECT_TRUE(Has(found, QAccessible::StaticText, L"InstallService.."));
  EXPECT_TRUE(Has(found, QAccessible::List, L"\uc124\uce58 \uc9c4\ud589 \ubaa9\ub85d"));
  EXPECT_TRUE(Has(found, QAccessible::ListItem, L"InstallDriver Success"));
  EXPECT_TRUE(Has(found, QAccessible::ListItem, L"InstallService Success"));
  QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(&dialog_->m_pProgressView->m_progress);
  ASSERT_NE(bar, nullptr);
  ASSERT_NE(bar->valueInterface(), nullptr);
  EXPECT_EQ(bar->valueInterface()->currentValue().toInt(), 80);
}

TEST_F(WizardTest, TheCompletionStateAnnouncesTheCheckBoxByItsPaintedQuestion) {
  Open();
  dialog_->OnBnClickedAgree();
  session_->wizard->ShowCompletionPage(RESBOX::GetString(302));
  const auto found = Announced(QAccessible::queryAccessibleInterface(dialog_.get()));
  EXPECT_TRUE(Has(found, QAccessible::CheckBox, L"\ubc14\ud0d5\ud654\uba74\uc5d0 \ubc14\ub85c\uac00\uae30\ub97c "
                                                L"\ub9cc\ub4dc\uc2dc\uaca0\uc2b5\ub2c8\uae4c?"));
  EXPECT_TRUE(Has(found, QAccessible::PushButton, L"\ud655\uc778")) << "OK";
  QAccessibleInterface* check = QAccessible::queryAccessibleInterface(&dialog_->m_pCompleteView->m_shortcutCheck);
  EXPECT_TRUE(check->state().checked);
}

}  // namespace
