// The class-library subset with the plug-in's own resource tables: menus and
// their pop-up tracking, dialog data exchange, modal dialogs taking tokens,
// and the file dialog.
#include "platform/mfc/AfxSubset.h"
#include "plugin/resources/MeshwrightResources.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>

namespace {

// Answers from a list of tokens; records what was printed and what went
// unanswered.
class Answers : public AfxSubset::AnswerSource {
public:
    explicit Answers(std::deque<std::string> tokens) : m_tokens(std::move(tokens))
    {
        registerMeshwrightResources();
        AfxSubset::setAnswerSource(this);
    }
    ~Answers() override { AfxSubset::setAnswerSource(nullptr); }

    bool takeAnswer(const std::string& prompt, std::string& token) override
    {
        if (m_tokens.empty()) {
            unanswered.push_back(prompt);
            return false;
        }
        token = m_tokens.front();
        m_tokens.pop_front();
        return true;
    }
    const std::string* peekAnswer() override { return m_tokens.empty() ? nullptr : &m_tokens[0]; }
    void dropAnswer() override { m_tokens.pop_front(); }
    void print(const std::string& line) override { printed += line; }
    void logUnanswered(const std::string& prompt) override { unanswered.push_back(prompt); }

    std::deque<std::string> m_tokens;
    std::string printed;
    std::vector<std::string> unanswered;
};

// The options dialog's exchange, with every handler recorded in order.
class OptionsDialog : public CDialog {
public:
    OptionsDialog() : CDialog(6020)
    {
        MapCommand(6038, [this] { log.push_back("Smooth Face"); });
        MapCommand(
            6014, [this] { log.push_back("RMS " + std::to_string(combo.GetCurSel())); },
            CBN_SELCHANGE);
    }
    void OnOK() override
    {
        UpdateData(TRUE);
        log.push_back("OK");
    }
    void OnCancel() override
    {
        log.push_back("Cancel");
        CDialog::OnCancel();
    }

    CComboBox combo;
    int surfaceKind = 0;
    int displayMode = 2;
    int depth = 1;
    std::vector<std::string> log;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, 6014, combo);
        DDX_Radio(pDX, 6037, surfaceKind);
        DDX_Radio(pDX, 6043, displayMode);
        DDX_Check(pDX, 6039, depth);
    }
};

std::vector<std::pair<UINT, std::wstring>> items(CMenu& menu)
{
    std::vector<std::pair<UINT, std::wstring>> result;
    for (int i = 0; i < menu.GetMenuItemCount(); ++i) {
        CString text;
        menu.GetMenuString(static_cast<UINT>(i), text, MF_BYPOSITION);
        result.emplace_back(menu.GetMenuItemID(i), text.str());
    }
    return result;
}

} // namespace

TEST(AfxMenus, ResourceMenusLoadWithTheirItemsAndPopUpsRemoveByPosition)
{
    Answers answers({});
    CMenu main, context;
    ASSERT_TRUE(main.LoadMenu(6017));
    ASSERT_TRUE(context.LoadMenu(6023));
    EXPECT_FALSE(CMenu().LoadMenu(6999));

    ASSERT_EQ(main.GetMenuItemCount(), 1);
    EXPECT_EQ(main.GetMenuItemID(0), static_cast<UINT>(-1));
    const std::vector<std::pair<UINT, std::wstring>> tools = {{33001, L"LoadMesh"},
                                                              {33006, L"EditGrid"},
                                                              {33008, L"Commit"},
                                                              {33013, L"HideMesh"},
                                                              {33004, L"Options"},
                                                              {33010, L"ImportGrid V1"},
                                                              {0, L""},
                                                              {33007, L"Heal (MatchMultiSrf)"},
                                                              {33005, L"Patch"}};
    EXPECT_EQ(items(*main.GetSubMenu(0)), tools);
    EXPECT_EQ(main.GetSubMenu(0)->GetMenuState(6, MF_BYPOSITION), MF_SEPARATOR);

    ASSERT_EQ(context.GetMenuItemCount(), 1);
    const std::vector<std::pair<UINT, std::wstring>> editing = {
        {33023, L"&activate"}, {33019, L"&snap"},     {33024, L"&insert"}, {33020, L"spli&t"},
        {33021, L"&join"},     {33017, L"start new"}, {33022, L"Move"},    {33018, L"?"}};
    EXPECT_EQ(items(*context.GetSubMenu(0)), editing);

    // The context pop-up appended to the tools pop-up, found by command, and
    // removed again by position: the sub-menu itself lives on.
    CMenu* toolsMenu = main.GetSubMenu(0);
    HMENU popup = context.GetSubMenu(0)->m_hMenu;
    ASSERT_TRUE(
        toolsMenu->AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(popup), L"local select"));
    EXPECT_EQ(main.GetMenuState(33023, MF_BYCOMMAND), 0u);
    EXPECT_EQ(toolsMenu->GetMenuItemID(9), static_cast<UINT>(-1));
    EXPECT_TRUE(toolsMenu->RemoveMenu(9, MF_BYPOSITION));
    EXPECT_EQ(toolsMenu->GetMenuItemCount(), 9);
    EXPECT_EQ(main.GetMenuState(33023, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_EQ(CMenu::FromHandle(popup)->GetMenuItemCount(), 8);
}

TEST(AfxMenus, TrackPopupMenuLogsEnabledItemsAndTakesOnlyAScriptedChoice)
{
    Answers answers({"menu:33019", "menu:33022", "Enter"});
    CMenu context;
    ASSERT_TRUE(context.LoadMenu(6023));
    CMenu& popup = *context.GetSubMenu(0);
    for (int i = 0; i < popup.GetMenuItemCount(); ++i)
        popup.EnableMenuItem(static_cast<UINT>(i), MF_BYPOSITION | MF_GRAYED);
    for (UINT id : {33023u, 33019u, 33024u, 33020u})
        EXPECT_EQ(popup.EnableMenuItem(id, MF_BYCOMMAND | MF_ENABLED), MF_GRAYED);

    EXPECT_EQ(popup.TrackPopupMenu(TPM_RIGHTBUTTON | TPM_CENTERALIGN, 160, 120, nullptr), 33019);
    EXPECT_NE(answers.printed.find("enabled: 33023 33019 33024 33020 -> 33019"), std::string::npos)
        << answers.printed;
    // A greyed item cannot be chosen: the menu is dismissed and the script
    // fails; other input is left for whoever asks next.
    EXPECT_EQ(popup.TrackPopupMenu(6, 0, 0, nullptr), 0);
    EXPECT_EQ(answers.unanswered.size(), 1u);
    EXPECT_EQ(popup.TrackPopupMenu(6, 0, 0, nullptr), 0);
    ASSERT_EQ(answers.m_tokens.size(), 1u);
    EXPECT_EQ(answers.m_tokens[0], "Enter");
}

TEST(AfxDialogs, RadioGroupsExchangeInResourceOrderWithMinusOneForNone)
{
    Answers answers({});
    OptionsDialog dialog;
    ASSERT_TRUE(dialog.Create(6020));
    EXPECT_FALSE(dialog.IsWindowVisible());
    ASSERT_EQ(dialog.combo.GetCount(), 8);
    const wchar_t* entries[] = {L"10", L"1", L"0.5", L"0.25", L"0.1", L"0.05", L"0.01", L"0.005"};
    for (int i = 0; i < 8; ++i) {
        CString text;
        dialog.combo.GetLBText(i, text);
        EXPECT_EQ(text.str(), entries[i]);
    }
    // OnInitDialog moved the members into the controls.
    EXPECT_EQ(static_cast<CButton*>(dialog.GetDlgItem(6045))->GetCheck(), BST_CHECKED);
    EXPECT_EQ(static_cast<CButton*>(dialog.GetDlgItem(6037))->GetCheck(), BST_CHECKED);

    struct Case {
        int checked; // control id, 0: none
        int displayMode;
    };
    for (const Case c :
         {Case{6043, 0}, Case{6044, 1}, Case{6045, 2}, Case{6048, 3}, Case{6046, 4}, Case{0, -1}}) {
        for (int id : {6043, 6044, 6045, 6048, 6046})
            static_cast<CButton*>(dialog.GetDlgItem(id))
                ->SetCheck(id == c.checked ? BST_CHECKED : BST_UNCHECKED);
        ASSERT_TRUE(dialog.UpdateData(TRUE));
        EXPECT_EQ(dialog.displayMode, c.displayMode) << c.checked;
    }
    static_cast<CButton*>(dialog.GetDlgItem(6038))->SetCheck(BST_CHECKED);
    static_cast<CButton*>(dialog.GetDlgItem(6037))->SetCheck(BST_UNCHECKED);
    ASSERT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.surfaceKind, 1);
}

TEST(AfxDialogs, ModalDialogRunsTheHandlersOfItsTokensInOrder)
{
    // "~number" takes the combo entry nearest the number.
    Answers answers({"RMS_of_Mesh=0.05", "RMS_of_Mesh=~0.0069", "Smooth_Face", "Depth=No", "OK",
                     "Hatch=7", "RMS_of_Mesh=~tiny", "Cancel"});
    OptionsDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.log,
              (std::vector<std::string>{"RMS 5", "RMS 7", "Smooth Face", "OK", "Cancel"}));
    EXPECT_NE(answers.printed.find("\"RMS_of_Mesh\" takes the entry 0.005"), std::string::npos);
    EXPECT_EQ(dialog.surfaceKind, 1);
    EXPECT_EQ(dialog.depth, 0);
    // Values the controls cannot take fail the script; the dialog went on.
    ASSERT_EQ(answers.unanswered.size(), 2u);
    EXPECT_NE(answers.printed.find("refused Hatch=7"), std::string::npos);
    EXPECT_NE(answers.printed.find("refused RMS_of_Mesh=~tiny"), std::string::npos);
    EXPECT_FALSE(IsWindow(dialog.m_hWnd));

    // Without input the dialog closes as its close box does, unanswered.
    OptionsDialog silent;
    EXPECT_EQ(silent.DoModal(), IDCANCEL);
    EXPECT_EQ(silent.log, std::vector<std::string>{"Cancel"});
    EXPECT_EQ(answers.unanswered.size(), 3u);
}

TEST(AfxDialogs, FileDialogTakesAFileOrCancelAndMissingFilesCancel)
{
    const std::string existing = mwtest::scratchPath("\xc3\xa9t\xc3\xa9.stl");
    std::ofstream(existing) << "solid x\nendsolid x\n";
    const std::string missing = mwtest::scratchPath("missing.stl");
    Answers answers({"file:" + existing, "file:" + missing, "cancel", "nonsense"});
    struct Case {
        INT_PTR result;
        std::wstring path;
        std::size_t unanswered;
    };
    const Case cases[] = {{IDOK, L"\u00e9t\u00e9.stl", 0},
                          {IDCANCEL, L"", 0},
                          {IDCANCEL, L"", 0},
                          {IDCANCEL, L"", 1},
                          {IDCANCEL, L"", 2}};
    for (const Case& c : cases) {
        CFileDialog dialog(TRUE, L"Mesh", nullptr, OFN_EXPLORER | OFN_FILEMUSTEXIST,
                           L"Mesh (*.stl,*.pol)|*.stl;*.pol||");
        EXPECT_EQ(dialog.DoModal(), c.result);
        const std::wstring path = dialog.GetPathName().str();
        EXPECT_EQ(path.substr(path.find_last_of(L'/') + 1), c.path);
        EXPECT_EQ(answers.unanswered.size(), c.unanswered);
    }
    EXPECT_NE(answers.printed.find("File not found: " + missing), std::string::npos);
}
