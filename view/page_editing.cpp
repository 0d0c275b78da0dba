// Editing a page of a blank course in the editor page: entering and leaving, the scripts given to
// the editor page when it has loaded, and saving the edited page back to its file.
#include <QFile>
#include <cerrno>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTreeWidget>

#include "course/page_tree_bar.h"

#include "course/course_folder.h"
#include "course/project_file.h"
#include "lang/language_table.h"
#include "platform/browser/browser_control.h"
#include "platform/text/code_page.h"
#include "view/event_log.h"
#include "view/mirova_view.h"

namespace tovra {

namespace {

// The table and save functions given to the editor page, as the program has always sent them (in
// the code page). The engine does not run a script inserted this way, so the editor page defines
// working versions of them itself; the statement is harmless there.
const std::string& EditorSetUpScript() {
    static const std::string script =
        "document.body.insertAdjacentHTML('afterEnd',\"<br><script DEFER>"
        "var rows=null; function getTable() {  Editor.focus();  selectRange();   var pItem=edit.parentElement();  "
        "if(!pItem)   return null;  rows=null;  while(pItem.tagName!='TABLE')  {   if(pItem.tagName=='BODY')    "
        "return;   if(pItem.tagName=='TR')    rows=pItem;   pItem=pItem.parentElement;  }  if(rows==null)   return "
        "null;  return pItem; } function AppendTable() {  var pItem=getTable();  if(pItem)  {   var newRow = "
        "pItem.insertRow(rows.rowIndex+1);   for(c=0;c<rows.cells.length;c++)   {    newCell = newRow.insertCell(c);  "
        "  newCell.innerHTML='\xD0\xC2\xB5\xA5\xD4\xAA';   }  } } function AppendTable0(tx1,tx2) {  var "
        "pItem=getTable();  if(pItem)  {   var newRow = pItem.insertRow(rows.rowIndex+1);   newCell = "
        "newRow.insertCell(0);   newCell.innerHTML=tx1;  newCell.style.backgroundColor=0xffffd2; newCell = "
        "newRow.insertCell(1);   newCell.innerHTML=tx2;  } } function DeleteTable() {  var pItem=getTable();  "
        "if(pItem)   pItem.deleteRow(rows.rowIndex); }"
        "function SaveData(bSave) {   if(bSave)  {   var path=Editor.document.location.toString().substr(8);   "
        "while(path.search('/')>0)    path=path.replace('/','\\');   mypath.value=path;   "
        "mytext.value=Editor.document.body.innerHTML;  }  else   document.title='scmd:save'; }"
        "document.title=Editor.document.title;"
        "</script>\");";
    return script;
}

// A page that says it is UTF-8 is written as UTF-8; any other in the code page, as pages always
// were, with a character reference for each character the code page cannot hold.
std::string PageBytes(const QString& html) {
    static const QRegularExpression kUtf8Meta(QStringLiteral("<meta[^>]*charset\\s*=\\s*[\"']?\\s*utf-?8"),
                                              QRegularExpression::CaseInsensitiveOption);
    if (kUtf8Meta.match(html).hasMatch()) return html.toStdString();
    std::string bytes;
    if (text::TryToCodePage(html.toStdU16String(), bytes)) return bytes;
    bytes.clear();
    const std::u32string characters = html.toStdU32String();
    for (char32_t c : characters) {
        std::string encoded;
        const QString one = QString::fromUcs4(&c, 1);
        if (text::TryToCodePage(one.toStdU16String(), encoded)) {
            bytes += encoded;
        } else {
            bytes += "&#x" + QString::number(static_cast<uint>(c), 16).toUpper().toStdString() + ";";
        }
    }
    return bytes;
}

// No write permission at all (not even for the owner) counts as read-only, for every user.
bool ReadOnlyFile(const QString& path) {
    if (!QFile::exists(path)) return false;
    // The mode bits only: "user" permissions say what this process may do, and root may do all.
    constexpr auto kWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !(QFile::permissions(path) & kWrite);
}

}  // namespace

void CMirovaView::OnEditHtml() {
    if (course_.pageCount == 0 || !course_.IsBlank()) return;
    const std::string page = std::to_string(course_.currentPage) + ".html";
    if (editing_) {
        // The editor's toggle is a leaving like any other: unsaved changes are asked about.
        CloseEditor();
        return;
    }
    if (course_.folder.empty()) return;
    editing_ = true;
    Navigate(lang::LanguageFolder() + "/edit/ZonEdit.htm?open=file://" + course_.folder + "/web.files/" + page);
}

void CMirovaView::LeaveEditor(int showPage) {
    editing_ = false;
    if (showPage > 0 && showPage != course_.currentPage) {
        course_.currentPage = static_cast<int16_t>(showPage);
        // The tree already shows the chosen page, or is told without turning it a second time.
        QTreeWidget* tree = PageTree();
        if (QTreeWidgetItem* item = PageItem(tree, showPage); item && tree->currentItem() != item) {
            const QSignalBlocker block(tree);
            tree->setCurrentItem(item);
        }
    }
    Navigate("file://" + course_.folder + "/web.files/fullscreen.htm?open=" + std::to_string(course_.currentPage) +
             ".html");
}

bool CMirovaView::EditorModified() {
    if (!editing_) return false;
    QVariant modified;
    const bool answered = browser_->Evaluate(
        QStringLiteral("(function(){try{return !!zonEdit.modified();}catch(e){return String(e);}})()"), modified);
    LogEvent(QStringLiteral("editor-modified"), (answered ? modified.toString() : QStringLiteral("no answer")) + QLatin1Char(' ') + browser_->CurrentUrl().toString());
    // An editor page that cannot answer (still loading, or not ours) holds no edit.
    return answered && modified.typeId() == QMetaType::Bool && modified.toBool();
}

bool CMirovaView::SettleEditorChanges() {
    if (!editing_ || !EditorModified()) return true;
    using framework::Answer;
    switch (Ask(lang::MessageText("Unsaved"), {Answer::Save, Answer::Discard, Answer::Cancel}, Answer::Save,
                Answer::Cancel)) {
        case Answer::Save: return SaveEditedPage();
        case Answer::Discard: return true;
        default: return false;
    }
}

bool CMirovaView::CloseEditor(int showPage) {
    if (!editing_) return true;
    if (!SettleEditorChanges()) return false;
    LeaveEditor(showPage);
    return true;
}

void CMirovaView::SetUpEditorPage(const QString& url) {
    if (!url.toLower().contains(QLatin1String("/zonedit.htm"))) return;
    RunScript(EditorSetUpScript());
}

bool CMirovaView::SaveEditedPage() {
    const std::string target = PageFilePath(course_.folder, course_.currentPage);
    const QString path = QString::fromStdString(target);
    // A save the editor page could not make would write an empty or stale page: nothing is
    // written, and the editor stays with the edit.
    if (!RunScript("SaveEdit();")) {
        ShowMessage(lang::MessageWith("CannotWrite", {path, lang::MessageText("ErrFile")}));
        return false;
    }
    QString html;
    if (!browser_->ReadField(QStringLiteral("mytext"), html)) {
        // The editor page cannot be reached at all: there is nothing to write.
        LogEvent(QStringLiteral("save-page-unreachable"), path);
        return true;
    }
    // Written whole through a temporary file, so a failed save never leaves half a page.
    if (ReadOnlyFile(path)) {
        ShowMessage(lang::MessageWith("CannotWrite", {path, lang::SystemReason(EACCES)}));
        return false;
    }
    if (!WriteFileAtomically(target, PageBytes(html))) {
        ShowCannotWrite(course_.folder + "/web.files", errno);
        return false;
    }
    LogEvent(QStringLiteral("save-page"), path);
    return true;
}

void CMirovaView::OnSaveEdit() {
    if (!editing_) return;
    if (SaveEditedPage()) LeaveEditor(0);
}

}  // namespace tovra

