#include "WindowView.h"

#include "CaptionLabel.h"
#include "FontMapping.h"
#include "GroupFrame.h"
#include "GuiText.h"
#include "LinkLabel.h"
#include "PictureBox.h"
#include "PictureButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QResizeEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace quillet::gui {

using ui::ControlKind;
using ui::Property;

namespace {

// A label without caption this thin is the tables' way of drawing a separator line.
constexpr int kSeparatorHeight = 3;

bool isSeparator(const ui::Control& c)
{
    return c.kind() == ControlKind::Label && c.designText().empty() && c.place().height <= kSeparatorHeight;
}

QString withoutMnemonic(QString caption)
{
    QString out;
    out.reserve(caption.size());
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) {
            ++i;
        }
        out += caption[i];
    }
    return out;
}

QStringList itemTexts(const ui::Control& c)
{
    QStringList list;
    for (const GbkText& item : c.items())
        list << toQString(item);
    return list;
}

} // namespace

QMargins WindowView::designFrame(ui::Border border)
{
    switch (border) {
    case ui::Border::Resizable:
        return {8, 31, 8, 8};
    case ui::Border::FixedToolWindow:
        return {3, 20, 3, 3};
    case ui::Border::Fixed:
        break;
    }
    return {3, 26, 3, 3};
}

QSize WindowView::clientSizeFor(const ui::Rect& outer, ui::Border border)
{
    const QMargins frame = designFrame(border);
    return {std::max(1, outer.width - frame.left() - frame.right()),
            std::max(1, outer.height - frame.top() - frame.bottom())};
}

int WindowView::multiLineTextHeight(const QString& text, int width, const QFont& font)
{
    // As a read-only multi-line edit box without scroll bars lays it out: its frame, the
    // document's margin, the lines wrapped at word boundaries or anywhere.
    const int frame = 2 * QApplication::style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const qreal margin = QTextDocument().documentMargin();
    const qreal lineWidth = std::max<qreal>(1, width - frame - 2 * margin);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    qreal height = 0;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(lineWidth);
            line.setLeadingIncluded(true);
            height += line.height();
        }
        layout.endLayout();
    }
    return static_cast<int>(std::ceil(height + 2 * margin)) + frame;
}

WindowView::WindowView(ui::Window& model, QWidget* owner)
    : QWidget(owner)
    , m_model(model)
{
    Qt::WindowFlags flags;
    switch (model.border()) {
    case ui::Border::Fixed:
        flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
        break;
    case ui::Border::FixedToolWindow:
        flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                | Qt::MSWindowsFixedSizeDialogHint;
        break;
    case ui::Border::Resizable:
        flags = Qt::Window;
        break;
    }
    setWindowFlags(flags);
    setObjectName(toQString(model.name()));
    build();
    m_observer = m_model.addObserver([this](const ui::Window&, const ui::Control* control, Property property) {
        if (control && control == m_echoOf)
            return; // the widget already shows what the user just put into it
        if (control)
            apply(*control, property);
        else
            applyWindow(property);
    });
}

WindowView::~WindowView()
{
    detach();
}

void WindowView::detach()
{
    if (m_observer != 0)
        m_model.removeObserver(m_observer);
    m_observer = 0;
}

QWidget* WindowView::widgetFor(std::string_view name) const
{
    const ui::Control* c = m_model.find(name);
    if (!c)
        return nullptr;
    auto it = m_widgets.find(c);
    return it == m_widgets.end() ? nullptr : it->second;
}

void WindowView::build()
{
    ++m_applying;
    m_model.forEachControl([this](ui::Control& c) {
        QWidget* parent = this;
        if (!c.parent().empty()) {
            if (QWidget* container = widgetFor(c.parent()))
                parent = container;
        }
        QWidget* w = createWidget(c, parent);
        if (!w)
            return;
        w->setObjectName(toQString(c.name()));
        m_widgets[&c] = w;
        m_controlOf[w] = &c;
        applyAll(c);
    });
    applyWindow(Property::WindowTitle);
    applyWindow(Property::WindowGeometry);
    --m_applying;
}

QWidget* WindowView::createWidget(ui::Control& c, QWidget* parent)
{
    ui::Control* control = &c;
    switch (c.kind()) {
    case ControlKind::FileDialog:
        return nullptr;
    case ControlKind::Button: {
        auto* b = new QPushButton(parent);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, control] { report(*control, ui::EventKind::Clicked); });
        watchRightClicks(b, c);
        return b;
    }
    case ControlKind::EditBox: {
        if (c.options().multiLine) { // fixed by the design: the kind of widget follows it
            auto* e = new QPlainTextEdit(parent);
            e->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            connect(e, &QPlainTextEdit::textChanged, this, [this, control, e] {
                if (m_applying)
                    return;
                const GbkText text = fromWidgetText(e->toPlainText());
                writeBack(*control, [&] { control->setText(text); });
            });
            watchRightClicks(e, c);
            watchRightClicks(e->viewport(), c);
            return e;
        }
        auto* e = new QLineEdit(parent);
        e->setMaxLength(1 << 20);
        connect(e, &QLineEdit::textEdited, this, [this, control](const QString& text) {
            if (m_applying)
                return;
            const GbkText gbkText = toGbk(text);
            writeBack(*control, [&] { control->setText(gbkText); });
        });
        watchRightClicks(e, c);
        return e;
    }
    case ControlKind::CheckBox: {
        auto* b = new QCheckBox(parent);
        connect(b, &QCheckBox::clicked, this, [this, control](bool checked) {
            if (m_applying)
                return;
            writeBack(*control, [&] { control->setChecked(checked); });
            report(*control, ui::EventKind::Clicked);
        });
        watchRightClicks(b, c);
        return b;
    }
    case ControlKind::RadioButton: {
        // The model keeps which radio button of a container is on; the widgets only show it.
        auto* b = new QRadioButton(parent);
        b->setAutoExclusive(false);
        connect(b, &QRadioButton::clicked, this, [this, control] {
            if (m_applying)
                return;
            checkRadio(*control);
            report(*control, ui::EventKind::Clicked);
        });
        watchRightClicks(b, c);
        return b;
    }
    case ControlKind::ComboBox: {
        auto* box = new QComboBox(parent);
        box->setEditable(false);
        connect(box, &QComboBox::activated, this, [this, control](int index) {
            if (m_applying)
                return;
            writeBack(*control, [&] { control->setSelectedIndex(index); });
        });
        watchRightClicks(box, c);
        return box;
    }
    case ControlKind::ListBox:
    case ControlKind::CheckListBox: {
        auto* list = new QListWidget(parent);
        connect(list, &QListWidget::currentRowChanged, this, [this, control](int row) {
            if (m_applying)
                return;
            writeBack(*control, [&] { control->setSelectedIndex(row); });
        });
        if (c.kind() == ControlKind::CheckListBox) {
            connect(list, &QListWidget::itemChanged, this, [this, control, list](QListWidgetItem* item) {
                if (m_applying)
                    return;
                const int row = list->row(item);
                const bool on = item->checkState() == Qt::Checked;
                writeBack(*control, [&] { control->checkIndex(row, on); });
            });
        }
        watchRightClicks(list->viewport(), c);
        return list;
    }
    case ControlKind::ColourPicker: {
        auto* b = new QPushButton(parent);
        connect(b, &QPushButton::clicked, this, [this, control] { report(*control, ui::EventKind::Clicked); });
        return b;
    }
    case ControlKind::Label: {
        if (isSeparator(c)) {
            auto* line = new QFrame(parent);
            line->setFrameShape(QFrame::Panel); // a dark line over a light one
            line->setFrameShadow(QFrame::Sunken);
            line->setLineWidth(1);
            return line;
        }
        auto* label = new CaptionLabel(parent);
        watchRightClicks(label, c);
        return label;
    }
    case ControlKind::GroupBox: {
        auto* box = new GroupFrame(parent);
        watchRightClicks(box, c);
        return box;
    }
    case ControlKind::PictureBox: {
        auto* box = new PictureBox(c.picture(), parent);
        watchRightClicks(box, c);
        return box;
    }
    case ControlKind::Frame: {
        auto* frame = new QFrame(parent);
        frame->setFrameShape(QFrame::StyledPanel);
        frame->setFrameShadow(QFrame::Sunken);
        return frame;
    }
    case ControlKind::LinkLabel: {
        auto* link = new LinkLabel(parent);
        connect(link, &LinkLabel::pressed, this, [this, control] { report(*control, ui::EventKind::LinkPressed); });
        watchRightClicks(link, c);
        return link;
    }
    case ControlKind::PictureButton: {
        auto* b = new PictureButton(c.picture(), parent);
        b->setToolTip(QString());
        connect(b, &PictureButton::clicked, this, [this, control] { report(*control, ui::EventKind::Clicked); });
        watchRightClicks(b, c);
        return b;
    }
    }
    return nullptr;
}

void WindowView::watchRightClicks(QWidget* widget, ui::Control& control)
{
    m_controlOf[widget] = &control;
    widget->installEventFilter(this);
}

bool WindowView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // A press a control ignores travels on to its container: only the innermost control
        // under the mouse reports it.
        auto it = m_controlOf.find(watched);
        if (mouse->button() == Qt::RightButton && it != m_controlOf.end()) {
            auto* w = static_cast<QWidget*>(watched);
            bool inner = false;
            for (QWidget* c = w->childAt(mouse->position().toPoint()); c && c != w; c = c->parentWidget()) {
                const auto found = m_controlOf.find(c);
                inner = inner || (found != m_controlOf.end() && found->second != it->second);
            }
            if (!inner && w->isEnabled())
                report(*it->second, ui::EventKind::RightClicked);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void WindowView::applyOptions(const ui::Control& c, QWidget* w)
{
    const ui::ControlOptions& o = c.options();
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        b->setDefault(o.defaultButton);
    } else if (auto* e = qobject_cast<QPlainTextEdit*>(w)) {
        e->setReadOnly(o.readOnly);
        e->setVerticalScrollBarPolicy(o.verticalScrollBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setReadOnly(o.readOnly);
        e->setAlignment(o.centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        if (o.digitsOnly && !e->validator())
            e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
        else if (!o.digitsOnly && e->validator())
            e->setValidator(nullptr);
    }
}

void WindowView::applyAll(const ui::Control& c)
{
    for (Property p : {Property::Options, Property::Font, Property::Items, Property::Text, Property::Checked, Property::SelectedIndex,
                       Property::CheckedIndices, Property::Colour, Property::Place, Property::Enabled,
                       Property::Visible})
        apply(c, p);
}

void WindowView::apply(const ui::Control& c, Property property)
{
    auto it = m_widgets.find(&c);
    if (it == m_widgets.end())
        return;
    QWidget* w = it->second;
    ++m_applying;
    switch (property) {
    case Property::Text:
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            const QString text = toQString(c.text());
            if (e->text() != text) {
                e->setText(text);
                if (!e->hasFocus())
                    e->setCursorPosition(0); // show the start of a long path, not its end
            }
        } else if (auto* e = qobject_cast<QPlainTextEdit*>(w)) {
            if (fromWidgetText(e->toPlainText()) != c.text())
                e->setPlainText(toWidgetText(c.text()));
        } else {
            showCaption(c, w);
        }
        break;
    case Property::Checked:
        if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->isCheckable())
            b->setChecked(c.checked());
        break;
    case Property::Items:
        if (auto* box = qobject_cast<QComboBox*>(w)) {
            box->clear();
            box->addItems(itemTexts(c));
            box->setCurrentIndex(c.selectedIndex());
            fitCaption(c, w);
        } else if (auto* list = qobject_cast<QListWidget*>(w)) {
            list->clear();
            list->addItems(itemTexts(c));
            if (c.kind() == ControlKind::CheckListBox)
                apply(c, Property::CheckedIndices);
            list->setCurrentRow(c.selectedIndex());
        }
        break;
    case Property::SelectedIndex:
        if (auto* box = qobject_cast<QComboBox*>(w))
            box->setCurrentIndex(c.selectedIndex() < box->count() ? c.selectedIndex() : -1);
        else if (auto* list = qobject_cast<QListWidget*>(w))
            list->setCurrentRow(c.selectedIndex() < list->count() ? c.selectedIndex() : -1);
        break;
    case Property::CheckedIndices:
        if (auto* list = qobject_cast<QListWidget*>(w); list && c.kind() == ControlKind::CheckListBox) {
            const auto& on = c.checkedIndices();
            for (int i = 0; i < list->count(); ++i) {
                QListWidgetItem* item = list->item(i);
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(std::binary_search(on.begin(), on.end(), i) ? Qt::Checked : Qt::Unchecked);
            }
        }
        break;
    case Property::Colour:
        if (c.kind() == ControlKind::ColourPicker) {
            // Colours are stored as 0x00BBGGRR.
            const auto value = static_cast<std::uint32_t>(c.colour());
            const QColor colour(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
            w->setStyleSheet(QStringLiteral("background-color: %1;").arg(colour.name()));
        }
        break;
    case Property::Place: {
        const ui::Rect& r = c.place();
        w->setGeometry(r.left, r.top, std::max(0, r.width), std::max(0, r.height));
        fitCaption(c, w);
        break;
    }
    case Property::Font:
        if (!isSeparator(c)) {
            QFont font = mappedFont(c.font());
            if (c.kind() == ControlKind::LinkLabel)
                font.setUnderline(true);
            w->setFont(font);
            showCaption(c, w);
        }
        break;
    case Property::Enabled:
        w->setEnabled(c.enabled());
        break;
    case Property::Visible:
        w->setVisible(c.visible());
        break;
    case Property::Options:
        applyOptions(c, w);
        break;
    case Property::Tag:
    case Property::SelectedIndices:
    case Property::WindowTitle:
    case Property::WindowGeometry:
    case Property::WindowShowState:
        break;
    }
    --m_applying;
}

void WindowView::showCaption(const ui::Control& c, QWidget* w)
{
    const QString caption = captionText(toWidgetText(c.text()), mappedFont(c.font()));
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (c.kind() != ControlKind::ColourPicker && c.kind() != ControlKind::PictureButton)
            b->setText(caption);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(caption);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(caption);
    }
    fitCaption(c, w);
}

void WindowView::fitCaption(const ui::Control& c, QWidget* w)
{
    QString caption;
    qreal available = 0;
    QStyle* s = w->style();
    switch (c.kind()) {
    case ControlKind::Label:
    case ControlKind::LinkLabel: {
        auto* label = qobject_cast<QLabel*>(w);
        if (!label)
            return;
        for (const QString& line : label->text().split(QLatin1Char('\n')))
            if (QFontMetricsF(label->font()).horizontalAdvance(line)
                >= QFontMetricsF(label->font()).horizontalAdvance(caption))
                caption = line;
        available = label->contentsRect().width();
        break;
    }
    case ControlKind::Button: {
        auto* b = qobject_cast<QPushButton*>(w);
        QStyleOptionButton option;
        option.initFrom(b);
        option.rect = b->rect();
        caption = withoutMnemonic(b->text());
        const int margin = s->pixelMetric(QStyle::PM_ButtonMargin, &option, b);
        available = s->subElementRect(QStyle::SE_PushButtonContents, &option, b).width() - margin;
        break;
    }
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
        auto* b = qobject_cast<QAbstractButton*>(w);
        QStyleOptionButton option;
        option.initFrom(b);
        option.rect = b->rect();
        caption = withoutMnemonic(b->text());
        available = s->subElementRect(c.kind() == ControlKind::CheckBox ? QStyle::SE_CheckBoxContents
                                                                         : QStyle::SE_RadioButtonContents,
                                      &option, b)
                        .width();
        break;
    }
    case ControlKind::ComboBox: {
        auto* box = qobject_cast<QComboBox*>(w);
        QStyleOptionComboBox option;
        option.initFrom(box);
        option.rect = box->rect();
        for (int i = 0; i < box->count(); ++i)
            if (QFontMetricsF(box->font()).horizontalAdvance(box->itemText(i))
                > QFontMetricsF(box->font()).horizontalAdvance(caption))
                caption = box->itemText(i);
        available = s->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box).width();
        break;
    }
    case ControlKind::GroupBox:
        caption = qobject_cast<QGroupBox*>(w)->title();
        available = w->width() - 16;
        break;
    default:
        return;
    }
    if (caption.isEmpty() || available <= 0)
        return;
    QFont font = w->font();
    const int before = font.stretch();
    fitFontToWidth(font, caption, available);
    if (font.stretch() != before)
        w->setFont(font);
}

void WindowView::applyWindow(Property property)
{
    ++m_applying;
    switch (property) {
    case Property::WindowTitle:
        setWindowTitle(toQString(m_model.title()));
        break;
    case Property::WindowGeometry: {
        const ui::Rect& g = m_model.geometry();
        const QSize client = clientSizeFor(g, m_model.border());
        if (m_model.border() == ui::Border::Resizable) {
            setMinimumSize(1, 1);
            resize(client);
        } else {
            setFixedSize(client);
        }
        if (g.left == -1 && g.top == -1) {
            // Centred on the screen, the way the tables' dialogs first appear.
            if (QScreen* screen = (parentWidget() ? parentWidget()->screen() : this->screen())) {
                const QRect area = screen->availableGeometry();
                move(area.left() + (area.width() - g.width) / 2, area.top() + (area.height() - g.height) / 2);
            }
        } else {
            move(g.left, g.top);
        }
        break;
    }
    case Property::WindowShowState:
        if (isVisible()) {
            switch (m_model.showState()) {
            case ui::ShowState::Maximised:
                showMaximized();
                break;
            case ui::ShowState::Minimised:
                showMinimized();
                break;
            case ui::ShowState::Normal:
                showNormal();
                break;
            }
        }
        break;
    default:
        break;
    }
    --m_applying;
}

void WindowView::writeBack(const ui::Control& control, const std::function<void()>& change)
{
    if (m_closed)
        return;
    const ui::Control* previous = m_echoOf;
    m_echoOf = &control;
    change();
    m_echoOf = previous;
}

void WindowView::checkRadio(ui::Control& control)
{
    // The other radio buttons of the container go off through the model's observers.
    m_model.forEachControl([&](ui::Control& other) {
        if (&other != &control && other.kind() == ControlKind::RadioButton && other.parent() == control.parent())
            other.setChecked(false);
    });
    control.setChecked(true);
    apply(control, Property::Checked); // a click on a button that was on has just turned it off
}

void WindowView::report(ui::Control& control, ui::EventKind kind)
{
    if (m_closed || !m_eventHandler)
        return;
    // A copy: the handler may run a long task that processes events, and may replace the
    // handler or close this window meanwhile (the view itself is deleted only later).
    const ControlEventHandler handler = m_eventHandler;
    handler(control, kind);
}

void WindowView::closeFromProgram()
{
    if (m_closed)
        return;
    m_closingFromProgram = true;
    close();
    m_closingFromProgram = false;
}

void WindowView::closeEvent(QCloseEvent* event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    if (!m_closingFromProgram && m_closeHandler) {
        QPointer<WindowView> self(this);
        const bool mayClose = m_closeHandler();
        if (!self)
            return;
        if (!mayClose || m_closed) {
            event->ignore();
            return;
        }
    }
    event->accept();
    m_closed = true;
    // From now on the model may go away before this widget is deleted.
    detach();
    if (m_closedHandler)
        m_closedHandler();
    emit closed();
}

void WindowView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_applying) {
        const QMargins frame = designFrame(m_model.border());
        ui::Rect g = m_model.geometry();
        g.width = width() + frame.left() + frame.right();
        g.height = height() + frame.top() + frame.bottom();
        ++m_applying;
        m_model.setGeometry(g);
        --m_applying;
    }
    if (m_resizeHandler && event->size() != event->oldSize())
        m_resizeHandler(size());
}

void WindowView::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (m_applying || !isVisible())
        return;
    ui::Rect g = m_model.geometry();
    g.left = x();
    g.top = y();
    ++m_applying;
    m_model.setGeometry(g);
    --m_applying;
}

void WindowView::clickDefaultButton()
{
    m_model.forEachControl([this](ui::Control& c) {
        if (c.kind() == ControlKind::Button && c.options().defaultButton && c.visible() && c.enabled()) {
            if (auto* b = qobject_cast<QPushButton*>(m_widgets[&c]); b && b->isVisible())
                b->animateClick();
        }
    });
}

void WindowView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!qobject_cast<QPlainTextEdit*>(focusWidget()) && !qobject_cast<QPushButton*>(focusWidget())) {
            clickDefaultButton();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (parentWidget()) { // secondary windows close on Escape, the main window does not
            close();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

} // namespace quillet::gui
