#include "kit/TMessageBox.h"

#include "ui_TMessageBox.h"

#include <QLabel>
#include <QPalette>

namespace {
constexpr int kDefaultIntervalMs = 1200;
// A toast's text wraps at this width (about 30 characters).
constexpr int kMaxTextWidth = 340;
} // namespace

TMessageBox::TMessageBox(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui::TMessageBoxClass)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::gray);
    setPalette(pal);
    setWindowOpacity(0.8);
    setAttribute(Qt::WA_DeleteOnClose, true);

    m_closeTimer.setInterval(kDefaultIntervalMs);
    connect(&m_closeTimer, &QTimer::timeout, this, &TMessageBox::On_Close);
    m_closeTimer.start();
}

TMessageBox::~TMessageBox()
{
    m_closeTimer.stop();
    delete ui;
}

QLabel* TMessageBox::textLabel() const
{
    return ui->Label_Text_Tips;
}

QTimer* TMessageBox::closeTimer()
{
    return &m_closeTimer;
}

void TMessageBox::setText(const QString& text)
{
    ui->Label_Text_Tips->setText(text);
}

void TMessageBox::setInterval(int milliseconds)
{
    // Restart even when the interval is unchanged: the toast is about to be shown.
    m_closeTimer.start(milliseconds);
}

void TMessageBox::showCentred(const QString& text, int ms, const QRect& frame)
{
    setText(text);
    setInterval(ms);
    // A word-wrapped label inside a main window does not ask for the height
    // its lines need: size it for the text, wrapped at a fixed width.
    QLabel* label = ui->Label_Text_Tips;
    label->ensurePolished();
    const QRect lines = label->fontMetrics().boundingRect(
        QRect(0, 0, kMaxTextWidth, 10000), Qt::AlignCenter | Qt::TextWordWrap, text);
    label->setFixedSize(lines.size() + QSize(4, 4));
    adjustSize();
    const QSize box = size();
    move(frame.left() + (frame.width() - box.width() + 1) / 2, frame.top() + (frame.height() - box.height() + 1) / 2);
    show();
}

void TMessageBox::On_Close()
{
    hide();
}
