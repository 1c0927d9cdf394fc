#include "kit/Loading.h"

#include "ui_Loading.h"

#include <QEvent>
#include <QMovie>

Loading::Loading(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::Form)
{
    ui->setupUi(this);
    setFixedSize(145, 170);
    setAttribute(Qt::WA_StyledBackground, true);
    hide();
}

Loading::~Loading()
{
    delete ui;
}

QLabel* Loading::movieLabel() const
{
    return ui->lab_gif;
}

QLabel* Loading::tipsLabel() const
{
    return ui->lab_tips;
}

QMovie* Loading::movie() const
{
    return m_movie;
}

bool Loading::setMovieFile(const QString& fileName)
{
    auto* movie = new QMovie(fileName, QByteArray(), this);
    if (!movie->isValid()) {
        delete movie;
        return false;
    }
    if (m_movie) {
        m_movie->stop();
        m_movie->deleteLater();
    }
    m_movie = movie;
    ui->lab_gif->setScaledContents(true);
    ui->lab_gif->setMovie(m_movie);
    if (isVisible())
        m_movie->start();
    return true;
}

void Loading::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QWidget::changeEvent(event);
}

void Loading::showEvent(QShowEvent* event)
{
    if (m_movie)
        m_movie->start();
    QWidget::showEvent(event);
}

void Loading::hideEvent(QHideEvent* event)
{
    if (m_movie)
        m_movie->stop();
    QWidget::hideEvent(event);
}
