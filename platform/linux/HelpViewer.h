// The help viewer window on Linux: the help file's contents and index beside the chosen topic.
#pragma once

#include <QString>
#include <QWidget>

#include <cstddef>

#include "platform/HelpFile.h"

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;

namespace orvane::qt {

class CHelpViewer : public QWidget {
public:
    // The object name by which the viewer can be found among the application's windows.
    static constexpr const char* kObjectName = "orvaneHelpViewer";

    CHelpViewer();

    // Shows `file`, captioned with its title or, when it has none, with `fallbackTitle`; opens on
    // the first topic with the contents list in front.
    void SetFile(HelpFile file, const QString& fallbackTitle);

    void ShowTopic(std::size_t topic);
    std::size_t CurrentTopic() const { return current_; }
    const HelpFile& File() const { return file_; }

    QTreeWidget* Contents() const { return contents_; }
    QLineEdit* IndexFilter() const { return filter_; }
    QListWidget* Index() const { return index_; }
    QTextBrowser* Text() const { return text_; }

private:
    void FillContents();
    void FillIndex();
    void OnFilterEdited(const QString& typed);

    HelpFile file_;
    std::size_t current_ = 0;
    QTabWidget* tabs_ = nullptr;
    QTreeWidget* contents_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QListWidget* index_ = nullptr;
    QTextBrowser* text_ = nullptr;
};

// The topic as HTML for the viewer's text pane: paragraphs, lists, preformatted blocks, and web
// addresses as links.
QString TopicHtml(const HelpTopic& topic);

}  // namespace orvane::qt
