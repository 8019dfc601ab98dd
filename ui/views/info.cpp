#include "info.h"

#include "layoutstyle.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QStyle>

namespace kesta {

using layoutstyle::Geometry;

namespace {

constexpr int ClientWidth = 341;
constexpr int ClientHeight = 186;

const QString SatellitePicture = QStringLiteral(":/images/satellite.svg");

QLabel *addLabel(QWidget *parent, const QString &name, const QString &text, Geometry geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    layoutstyle::place(label, geometry);
    return label;
}

// A label that looks like a link; it deliberately reacts to nothing.
QLabel *addAddress(QWidget *parent, const QString &name, const QString &text, Geometry geometry)
{
    QLabel *label = addLabel(parent, name, text, geometry);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    layoutstyle::setTextColor(label, QColor(0, 0, 255));
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

} // namespace

QString Info::versionNumber()
{
    return QStringLiteral(KESTA_VERSION);
}

QString Info::releaseDate()
{
    return tr("13 July 2009");
}

QString Info::versionText()
{
    return tr("Version %1    (%2)").arg(versionNumber(), releaseDate());
}

Info::Info(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Info"));
    setWindowTitle(tr("Info"));
    setWindowIcon(QIcon(SatellitePicture));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(layoutstyle::defaultFont());
    layoutstyle::setBackground(this);

    // First shown centred on the screen.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter,
                                        QSize(ClientWidth, ClientHeight),
                                        screen->availableGeometry()));
    } else {
        resize(ClientWidth, ClientHeight);
    }

    m_label1 = addLabel(this, QStringLiteral("Label1"), tr("KESTA-1 Telemetry Decoder"),
                        Geometry{8, 8, 329, 25});
    m_label1->setFont(layoutstyle::boldFont(13.5));
    layoutstyle::setTextColor(m_label1, QColor(0, 64, 0));

    addLabel(this, QStringLiteral("Label3"), tr("Reads and decodes KISS logs."),
             Geometry{8, 40, 185, 17});

    QLabel *maker =
        addLabel(this, QStringLiteral("Label8"), QStringLiteral("Orvan"), Geometry{8, 64, 49, 17});
    maker->setFont(layoutstyle::boldFont());
    layoutstyle::setTextColor(maker, Qt::black);

    auto *frame1 = new QGroupBox(this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    layoutstyle::place(frame1, Geometry{8, 88, 185, 41});

    m_label2 = addLabel(frame1, QStringLiteral("Label2"), QString(), Geometry{8, 16, 169, 17});
    m_label2->setAlignment(Qt::AlignCenter);

    QLabel *image1 =
        addLabel(this, QStringLiteral("Image1"), QString(), Geometry{208, 56, 127, 102});
    layoutstyle::showPicture(image1, SatellitePicture);

    // 57 pixels hold "Homepage:" only in a narrow font; the label reaches to the address beside it
    // so wider sans-serif fonts do not cut the colon off.
    addLabel(this, QStringLiteral("Label6"), tr("Homepage:"), Geometry{8, 136, 64, 17});
    addAddress(this, QStringLiteral("Label4"), QStringLiteral("www.orvan.test"),
               Geometry{72, 136, 121, 17});
    addLabel(this, QStringLiteral("Label7"), tr("e-mail:"), Geometry{8, 160, 41, 17});
    addAddress(this, QStringLiteral("Label5"), QStringLiteral("kesta@orvan.test"),
               Geometry{72, 160, 121, 17});

    // Loading the window writes its version line.
    m_label2->setText(versionText());
}

void Info::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace kesta
