// The help viewer window on Linux.
#include "platform/linux/HelpViewer.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <vector>

namespace orvane::qt {
namespace {

constexpr int kTopicRole = Qt::UserRole;

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Escapes the text and makes each web address in it a link.
QString LinkedHtml(const QString& text) {
    static const QRegularExpression address(QStringLiteral(R"(https?://[^\s<>"]+[^\s<>".,;:!?)])"));
    QString html;
    qsizetype done = 0;
    for (QRegularExpressionMatchIterator it = address.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        html += text.mid(done, match.capturedStart() - done).toHtmlEscaped();
        const QString url = match.captured().toHtmlEscaped();
        html += QStringLiteral("<a href=\"%1\">%1</a>").arg(url);
        done = match.capturedEnd();
    }
    return html + text.mid(done).toHtmlEscaped();
}

}  // namespace

QString TopicHtml(const HelpTopic& topic) {
    QString html = QStringLiteral("<h2>%1</h2>").arg(FromUtf8(topic.title).toHtmlEscaped());
    bool inList = false;
    for (const HelpParagraph& paragraph : topic.paragraphs) {
        const bool bullet = paragraph.kind == HelpParagraph::Kind::Bullet;
        if (bullet != inList) {
            html += bullet ? QStringLiteral("<ul>") : QStringLiteral("</ul>");
            inList = bullet;
        }
        const QString text = FromUtf8(paragraph.text);
        switch (paragraph.kind) {
        case HelpParagraph::Kind::Text: html += QStringLiteral("<p>%1</p>").arg(LinkedHtml(text)); break;
        case HelpParagraph::Kind::Bullet: html += QStringLiteral("<li>%1</li>").arg(LinkedHtml(text)); break;
        case HelpParagraph::Kind::Preformatted: html += QStringLiteral("<pre>%1</pre>").arg(text.toHtmlEscaped()); break;
        }
    }
    if (inList) html += QStringLiteral("</ul>");
    return html;
}

CHelpViewer::CHelpViewer() : QWidget(nullptr, Qt::Window) {
    setObjectName(QString::fromLatin1(kObjectName));
    setAttribute(Qt::WA_DeleteOnClose);

    contents_ = new QTreeWidget;
    contents_->setHeaderHidden(true);
    contents_->setColumnCount(1);

    auto* indexPage = new QWidget;
    filter_ = new QLineEdit;
    filter_->setPlaceholderText(tr("Type a keyword"));
    index_ = new QListWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->setContentsMargins(0, 0, 0, 0);
    indexLayout->addWidget(filter_);
    indexLayout->addWidget(index_);

    tabs_ = new QTabWidget;
    tabs_->addTab(contents_, tr("&Contents"));
    tabs_->addTab(indexPage, tr("&Index"));

    text_ = new QTextBrowser;
    text_->setOpenExternalLinks(true);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(tabs_);
    splitter->addWidget(text_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 500});
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(splitter);
    resize(760, 500);

    connect(contents_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) ShowTopic(item->data(0, kTopicRole).value<qulonglong>());
    });
    connect(index_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item) ShowTopic(item->data(kTopicRole).value<qulonglong>());
    });
    connect(filter_, &QLineEdit::textEdited, this, &CHelpViewer::OnFilterEdited);
}

void CHelpViewer::SetFile(HelpFile file, const QString& fallbackTitle) {
    file_ = std::move(file);
    setWindowTitle(file_.title.empty() ? fallbackTitle : FromUtf8(file_.title));
    FillContents();
    FillIndex();
    tabs_->setCurrentIndex(0);
    ShowTopic(0);
}

void CHelpViewer::FillContents() {
    const QSignalBlocker quiet(contents_);
    contents_->clear();
    // The latest item of each level, under which the deeper levels that follow go.
    std::vector<QTreeWidgetItem*> parents;
    for (std::size_t i = 0; i < file_.topics.size(); ++i) {
        const HelpTopic& topic = file_.topics[i];
        const std::size_t depth = std::min(static_cast<std::size_t>(std::max(topic.level, 1)) - 1, parents.size());
        parents.resize(depth);
        auto* item = parents.empty() ? new QTreeWidgetItem(contents_) : new QTreeWidgetItem(parents.back());
        item->setText(0, FromUtf8(topic.title));
        item->setData(0, kTopicRole, QVariant::fromValue<qulonglong>(i));
        parents.push_back(item);
    }
    contents_->expandAll();
}

void CHelpViewer::FillIndex() {
    const QSignalBlocker quiet(index_);
    index_->clear();
    for (std::size_t i = 0; i < file_.index.size(); ++i) {
        const HelpIndexEntry& entry = file_.index[i];
        if (entry.topic >= file_.topics.size()) continue;
        QString label = FromUtf8(entry.keyword);
        // A keyword that leads to several topics names each of them.
        const auto same = [&](std::size_t other) {
            return FromUtf8(file_.index[other].keyword).compare(FromUtf8(entry.keyword), Qt::CaseInsensitive) == 0;
        };
        const bool shared = (i > 0 && same(i - 1)) || (i + 1 < file_.index.size() && same(i + 1));
        if (shared) label += QStringLiteral(" - ") + FromUtf8(file_.topics[entry.topic].title);
        auto* item = new QListWidgetItem(label, index_);
        item->setData(kTopicRole, QVariant::fromValue<qulonglong>(entry.topic));
    }
}

void CHelpViewer::OnFilterEdited(const QString& typed) {
    if (typed.isEmpty()) return;
    for (int row = 0; row < index_->count(); ++row) {
        if (index_->item(row)->text().startsWith(typed, Qt::CaseInsensitive)) {
            index_->setCurrentRow(row);
            return;
        }
    }
}

void CHelpViewer::ShowTopic(std::size_t topic) {
    if (topic >= file_.topics.size()) return;
    current_ = topic;
    text_->setHtml(TopicHtml(file_.topics[topic]));
}

}  // namespace orvane::qt
