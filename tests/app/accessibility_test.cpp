// What a screen reader finds in the wizard: every control with a role and a
// name, walked through the accessibility tree from the main window.
#include <QAccessible>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/resource.h"
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
  // The label reads each carriage return and line feed of the text as one
  // line break.
  const std::wstring intro =
      QString::fromStdWString(RESBOX::GetString(IDS_LICENSE_INTRO)).replace("\r\n", "\n").toStdWString();
  EXPECT_TRUE(Has(found, QAccessible::StaticText, intro)) << "introduction";
  EXPECT_TRUE(Has(found, QAccessible::EditableText, L"\uc124\uce58 \ubc0f \uc774\uc6a9 \uc57d\uad00")) << "agreement";
  for (const auto& [role, name] : found) {
    if (role == QAccessible::PushButton || role == QAccessible::StaticText) {
      EXPECT_FALSE(name.empty()) << role;
    }
  }
}

// Every node below an invisible one, by the path of child indexes from the
// window, that does not report itself invisible.
void CollectVisibleBelowInvisible(QAccessibleInterface* node, bool underInvisible, const std::string& path,
                                  std::vector<std::string>* found) {
  for (int i = 0; i < node->childCount(); ++i) {
    QAccessibleInterface* child = node->child(i);
    if (!child) continue;
    const std::string at = path + "/" + std::to_string(i) + " " + child->text(QAccessible::Name).toStdString();
    const bool invisible = child->state().invisible;
    if (underInvisible && !invisible) found->push_back(at);
    CollectVisibleBelowInvisible(child, underInvisible || invisible, at, found);
  }
}

std::vector<std::string> VisibleBelowInvisible(QWidget* window) {
  std::vector<std::string> found;
  CollectVisibleBelowInvisible(QAccessible::queryAccessibleInterface(window), false, "", &found);
  return found;
}

TEST_F(WizardTest, TheMainWindowIsAFrameNamedByItsTitle) {
  Open();
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(dialog_.get());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->role(), QAccessible::Window) << "a frame, not a filler";
  EXPECT_EQ(window->text(QAccessible::Name).toStdWString(),
            L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58 \ud504\ub85c\uadf8\ub7a8");
  EXPECT_FALSE(window->state().invisible);
}

TEST_F(WizardTest, TheRowsOfTheHiddenProgressListAreInvisibleOnTheCompletionPage) {
  Open();
  EXPECT_EQ(VisibleBelowInvisible(dialog_.get()), std::vector<std::string>()) << "licence";
  dialog_->OnBnClickedAgree();
  session_->progress->AddStatusRow(L"InstallDriver Success", false, 75);
  session_->progress->AddStatusRow(L"InstallService Success", false, 80);
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&dialog_->m_pProgressView->m_list);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->childCount(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(list->child(i)->role(), QAccessible::ListItem);
    EXPECT_FALSE(list->child(i)->state().invisible) << "while installing, row " << i;
    EXPECT_EQ(list->child(i)->parent(), list);
    EXPECT_EQ(list->indexOfChild(list->child(i)), i);
  }
  EXPECT_EQ(list->child(1)->text(QAccessible::Name).toStdWString(), L"InstallService Success");
  EXPECT_EQ(VisibleBelowInvisible(dialog_.get()), std::vector<std::string>()) << "installing";

  session_->wizard->ShowCompletionPage(RESBOX::GetString(IDS_OK));
  ASSERT_FALSE(dialog_->m_pProgressView->isVisible());
  for (int i = 0; i < list->childCount(); ++i) EXPECT_TRUE(list->child(i)->state().invisible) << "row " << i;
  EXPECT_EQ(VisibleBelowInvisible(dialog_.get()), std::vector<std::string>()) << "finished";
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
  session_->wizard->ShowCompletionPage(RESBOX::GetString(IDS_OK));
  const auto found = Announced(QAccessible::queryAccessibleInterface(dialog_.get()));
  EXPECT_TRUE(Has(found, QAccessible::CheckBox, L"\ubc14\ud0d5\ud654\uba74\uc5d0 \ubc14\ub85c\uac00\uae30\ub97c "
                                                L"\ub9cc\ub4dc\uc2dc\uaca0\uc2b5\ub2c8\uae4c?"));
  EXPECT_TRUE(Has(found, QAccessible::PushButton, L"\ud655\uc778")) << "OK";
  QAccessibleInterface* check = QAccessible::queryAccessibleInterface(&dialog_->m_pCompleteView->m_shortcutCheck);
  EXPECT_TRUE(check->state().checked);
}

}  // namespace
