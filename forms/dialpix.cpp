#include "forms/dialpix.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdint>
#include <filesystem>

#include "forms/Module1.h"
#include "forms/gauge_file.h"
#include "forms/gbpwt.h"
#include "forms/numbmp.h"
#include "io/file_channels.h"
#include "io/file_names.h"
#include "io/system.h"
#include "ui/file_list.h"
#include "ui/message.h"
#include "ui/twips.h"

using namespace io;
using namespace ui;

dialpix::dialpix() {
  setWindowTitle(QStringLiteral("WELCOME TO DIALPIX 1.1 FOR FS98"));
  setClientSize(this, 6735, 4140);
  setBackground(this, QColor(0, 0, 128));

  File1 = new FileListBox(QStringLiteral("*.gau"), this);
  place(File1, 1200, 720, 4335, 2235);
  connect(File1, &FileListBox::dblClicked, this, &dialpix::File1_DblClick);
  connect(File1, &FileListBox::keyPressed, this, &dialpix::File1_KeyPress);

  Command1 = new QPushButton(QStringLiteral("EXIT"), this);
  place(Command1, 2760, 3480, 1215, 495);
  connect(Command1, &QPushButton::clicked, this, &dialpix::Command1_Click);

  Label1 = new QLabel(QStringLiteral("DOUBLE-CLICK the GAU file you wish to convert:"), this);
  place(Label1, 840, 240, 5055, 255);
  Label1->setFont(msSansSerif(9.75, true));
  setBackground(Label1, QColor(192, 192, 192));

  setTabOrder(File1, Command1);
  File1->setFocus();
}

void dialpix::File1_DblClick() { pick(); }

void dialpix::File1_KeyPress(int KeyAscii) {
  if (KeyAscii == 13) pick();
}

void dialpix::Command1_Click() { endProgram(); }

// The title bar's close button ends the program, as EXIT does.
void dialpix::closeEvent(QCloseEvent* event) {
  event->ignore();
  Command1_Click();
}

void dialpix::pick() {
  if (File1->count() == 0) {
    offerAnotherFolder();
    return;
  }
  const std::string file = File1->selectedFile();
  if (file.empty()) {
    ShowMessage(this, QStringLiteral("Highlight a gauge file in the list first, then press "
                                     "Enter or double-click it."));
    return;
  }
  const QString problem = openGauge(file);
  if (problem.isEmpty()) return;
  File1->refresh();  // it may have gone since the list was read
  ShowMessage(this, problem);
}

QString dialpix::openGauge(const std::string& file) {
  const QString name = nameText(file);
  {
    PleaseWait wait;
    const Result<GaugeAccess> opened = openGaugeFile(file);
    if (!opened)
      return QStringLiteral("The gauge file %1 %2.").arg(name, nameText(opened.reason()));
    Module1.GauFileName = file;
    ui::create<numbmp>();
    ui::show<numbmp>(this);
    ui::destroy<dialpix>();
  }
  if (numbmp* chooser = ui::find<numbmp>()) chooser->reportScan();
  return {};
}

// Started from a desktop menu, the program lists the home folder, which
// seldom holds gauge files; so an empty list says so once, on its own.
void dialpix::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (File1->count() == 0 && !toldEmpty_) {
    toldEmpty_ = true;
    QTimer::singleShot(0, this, &dialpix::offerAnotherFolder);
  }
}

void dialpix::offerAnotherFolder() {
  const QString folder = nameText(io::nameOf(std::filesystem::current_path()));
  QMessageBox* box = ShowMessage(
      this,
      QStringLiteral("There is no gauge file (*.gau) in the folder %1. Choose Folder picks the "
                     "folder that holds your gauge files.")
          .arg(folder),
      QStringLiteral("Choose Folder..."));
  connect(box->defaultButton(), &QPushButton::clicked, this, [this] {
    const QString chosen =
        ChooseFolder
            ? ChooseFolder(this)
            : QFileDialog::getExistingDirectory(
                  this, QStringLiteral("The folder of your gauge files"), QDir::currentPath());
    if (chosen.isEmpty() || !QDir::setCurrent(chosen)) return;
    File1->refresh();
    if (File1->count() == 0) {
      QTimer::singleShot(0, this, &dialpix::offerAnotherFolder);
    } else {
      activateWindow();
      File1->setFocus();
    }
  });
}
