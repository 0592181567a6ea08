#include "avicap/about_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "avicap/control_ids.h"

namespace rd420::avicap {

AboutBox::AboutBox(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("aboutBox"));
  setWindowTitle(QStringLiteral("About Pelucid VAV Eduruzu"));
  auto* layout = new QHBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(QPixmap(ResourcePath(kIconMain)));
  layout->addWidget(icon, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  texts->addWidget(new QLabel(QStringLiteral("TORVELA VAV Eduruzu"), this));
  texts->addWidget(
      new QLabel(QStringLiteral("Video capture for the RD-420 document camera"), this));
  texts->addWidget(
      new QLabel(QStringLiteral("Build Time: ") + QStringLiteral(__DATE__ " " __TIME__), this));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(ControlName(1));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  texts->addWidget(ok, 0, Qt::AlignRight);
  layout->addLayout(texts);
}

}  // namespace rd420::avicap
