#include "gui/OptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/Dialogs.h"
#include "gui/Fonts.h"
#include "gui/GuiMessages.h"
#include "gui/RangeSpinBox.h"

namespace tarsil::gui {
namespace {

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QSpinBox* MakeSpin(const char* name, int min, int max, int step) {
  auto* spin = Named(new RangeSpinBox, name);
  spin->setRange(min, max);
  spin->setSingleStep(step);
  return spin;
}

}  // namespace

OptionsDialog::OptionsDialog(Options& options, SettingsStore& store, DesktopDialogs& dialogs,
                             std::function<void(const std::string&)> on_failure, QWidget* parent)
    : QDialog(parent),
      options_(options),
      store_(store),
      dialogs_(dialogs),
      on_failure_(std::move(on_failure)) {
  setObjectName("TarsilOption");
  setWindowTitle(Utf8(texts::kOptionsCaption));
  setFont(UiFont());
  Build();
  ShowModel();
}

void OptionsDialog::Build() {
  auto* layout = new QVBoxLayout(this);

  // The time-out box sits on the blanks of its label, between "TimeOut" and "秒".
  auto* timeout_row = new QWidget;
  auto* timeout_label = new QLabel(Utf8(texts::kTimeoutLabel), timeout_row);
  ed_timeout_ = MakeSpin("Ed_timeout", 5, 200, 1);
  ed_timeout_->setParent(timeout_row);
  const QFontMetrics metrics(font());
  const int left = metrics.horizontalAdvance(QStringLiteral("TimeOut "));
  const int width = metrics.horizontalAdvance(QString(13, QLatin1Char(' ')));
  timeout_label->move(0, 4);
  ed_timeout_->setGeometry(left, 0, std::max(width, 56), 22);
  timeout_row->setMinimumSize(timeout_label->sizeHint().width() + 8, 24);
  layout->addWidget(timeout_row);

  cb_passive_ = Named(new QCheckBox(Utf8(texts::kPassive)), "cb_passive");
  ch_runmode_ = Named(new QCheckBox(Utf8(texts::kRunMode)), "ch_runmode");
  cb_debugmode_ = Named(new QCheckBox(Utf8(texts::kDebugMode)), "cb_debugmode");
  ch_logsave_ = Named(new QCheckBox(Utf8(texts::kLogSaveOption)), "ch_logsave");
  cb_log_overwrite_ = Named(new QCheckBox(Utf8(texts::kLogOverwrite)), "cb_logOverwrite");
  ed_logsave_ = Named(new QLineEdit, "Ed_logsave");
  btn_brows_ = Named(new QPushButton(Utf8(texts::kBrowse)), "btn_Brows");
  cb_lognametime_ = Named(new QCheckBox(Utf8(texts::kLogNameTime)), "cb_lognametime");
  for (QWidget* widget : {static_cast<QWidget*>(cb_passive_), static_cast<QWidget*>(ch_runmode_),
                          static_cast<QWidget*>(cb_debugmode_)}) {
    layout->addWidget(widget);
  }
  auto* log_row = new QHBoxLayout;
  log_row->addWidget(ch_logsave_);
  log_row->addWidget(cb_log_overwrite_);
  layout->addLayout(log_row);
  auto* name_row = new QHBoxLayout;
  name_row->addWidget(ed_logsave_, 1);
  name_row->addWidget(btn_brows_);
  layout->addLayout(name_row);
  layout->addWidget(cb_lognametime_);
  BuildEncodingRow(layout);

  // The wait controls inside the frame Bvl_wait; the check box stands on its upper edge.
  cb_wait_ = Named(new QCheckBox(Utf8(texts::kSendWait)), "cb_wait");
  layout->addWidget(cb_wait_);
  bvl_wait_ = Named(new QFrame, "Bvl_wait");
  bvl_wait_->setFrameShape(QFrame::Box);
  bvl_wait_->setFrameShadow(QFrame::Sunken);
  auto* wait_row = new QHBoxLayout(bvl_wait_);
  sp_wsec_ = MakeSpin("sp_Wsec", 0, 60, 1);
  wsec_label_ = Named(new QLabel(Utf8(texts::kWaitSecLabel)), "lbl_Wsec");
  sp_wsize_ = MakeSpin("sp_Wsize", 4, 4096, 4);
  wsize_label_ = Named(new QLabel(Utf8(texts::kWaitSizeLabel)), "lbl_Wsize");
  sp_wsize_->hide();
  wsize_label_->hide();
  wait_row->addWidget(sp_wsec_);
  wait_row->addWidget(wsec_label_);
  wait_row->addWidget(sp_wsize_);
  wait_row->addWidget(wsize_label_);
  wait_row->addStretch(1);
  layout->addWidget(bvl_wait_);

  cb_progress_ = Named(new QCheckBox(Utf8(texts::kProgressOption)), "cb_progress");
  cb_showbutton_ = Named(new QCheckBox(Utf8(texts::kShowButton)), "cb_showbutton");
  layout->addWidget(cb_progress_);
  layout->addWidget(cb_showbutton_);

  auto* buttons = new QHBoxLayout;
  auto* ok = Named(new QPushButton(Utf8(texts::kOk)), "btn_Ok");
  auto* cancel = Named(new QPushButton(Utf8(texts::kCancel)), "btn_Ng");
  ok->setDefault(true);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  // Every change goes into the options at once; the setters run the click rules.
  auto on_check = [this](QCheckBox* box, std::function<void(bool)> apply) {
    connect(box, &QCheckBox::toggled, this, [this, apply = std::move(apply)](bool on) {
      if (showing_) return;
      apply(on);
      ShowModel();
    });
  };
  Options& o = options_;
  on_check(cb_passive_, [&o](bool on) { o.SetPassive(on); });
  on_check(ch_runmode_, [&o](bool on) { o.SetHideWhenRunning(on); });
  on_check(cb_debugmode_, [&o](bool on) { o.SetDebugMode(on); });
  on_check(ch_logsave_, [&o](bool on) { o.SetLogSave(on); });
  on_check(cb_log_overwrite_, [&o](bool on) { o.SetLogOverwrite(on); });
  on_check(cb_lognametime_, [&o](bool on) { o.SetLogNameTime(on); });
  on_check(cb_wait_, [&o](bool on) { o.SetSendWait(on); });
  on_check(cb_progress_, [&o](bool on) { o.SetShowProgress(on); });
  on_check(cb_showbutton_, [&o](bool on) { o.SetShowDetailButton(on); });
  auto on_spin = [this](QSpinBox* spin, SpinBox* model, bool select) {
    connect(spin, &QSpinBox::valueChanged, this, [this, spin, model, select](int value) {
      if (showing_) return;
      model->Set(value);
      // The next keystroke replaces the value (the wait boxes' change rule).
      if (select) spin->selectAll();
    });
  };
  on_spin(ed_timeout_, &options_.Timeout(), false);
  on_spin(sp_wsec_, &options_.WaitSeconds(), true);
  on_spin(sp_wsize_, &options_.WaitSize(), true);
  connect(ed_logsave_, &QLineEdit::textEdited, this,
          [this](const QString& text) { options_.SetLogFileName(ToCp932(text)); });
  connect(btn_brows_, &QPushButton::clicked, this, [this] { BrowseClick(); });
  connect(ok, &QPushButton::clicked, this, [this] { OkClick(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

// "文字コード" (new scripts, log and "Dir" files) and which text servers' names are in.
void OptionsDialog::BuildEncodingRow(QVBoxLayout* layout) {
  cb_text_encoding_ = Named(new QComboBox, "cb_TextEncoding");
  cb_text_encoding_->addItems({QStringLiteral("CP932"), QStringLiteral("UTF-8")});
  cb_server_charset_ = Named(new QComboBox, "cb_ServerCharset");
  cb_server_charset_->addItems(
      {QStringLiteral("AUTO"), QStringLiteral("UTF-8"), QStringLiteral("CP932")});
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(Utf8(texts::kTextEncodingLabel)));
  row->addWidget(cb_text_encoding_);
  row->addWidget(new QLabel(QStringLiteral("SERVERCHARSET")));
  row->addWidget(cb_server_charset_);
  row->addStretch(1);
  layout->addLayout(row);
  connect(cb_text_encoding_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (showing_) return;
    options_.SetFileEncoding(index == 1 ? TextEncoding::kUtf8 : TextEncoding::kCp932);
  });
  connect(cb_server_charset_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (showing_) return;
    options_.SetServerNames(index == 1   ? ServerCharset::kUtf8
                            : index == 2 ? ServerCharset::kCp932
                                         : ServerCharset::kAuto);
  });
}

void OptionsDialog::ShowModel() {
  showing_ = true;
  cb_text_encoding_->setCurrentIndex(options_.FileEncoding() == TextEncoding::kUtf8 ? 1 : 0);
  cb_server_charset_->setCurrentIndex(options_.ServerNames() == ServerCharset::kUtf8    ? 1
                                      : options_.ServerNames() == ServerCharset::kCp932 ? 2
                                                                                        : 0);
  ed_timeout_->setValue(options_.Timeout().Value());
  cb_passive_->setChecked(options_.Passive());
  ch_runmode_->setChecked(options_.HideWhenRunning());
  cb_debugmode_->setChecked(options_.DebugMode());
  ch_logsave_->setChecked(options_.LogSave());
  cb_log_overwrite_->setChecked(options_.LogOverwrite());
  const QString name = FromCp932(options_.LogFileName());
  if (ed_logsave_->text() != name) ed_logsave_->setText(name);
  cb_lognametime_->setChecked(options_.LogNameTime());
  cb_wait_->setChecked(options_.SendWait());
  sp_wsec_->setValue(options_.WaitSeconds().Value());
  sp_wsize_->setValue(options_.WaitSize().Value());
  cb_progress_->setChecked(options_.ShowProgress());
  cb_showbutton_->setChecked(options_.ShowDetailButton());
  ed_logsave_->setEnabled(options_.LogNameEnabled());
  btn_brows_->setEnabled(options_.LogNameEnabled());
  for (QWidget* inside : {static_cast<QWidget*>(sp_wsec_), static_cast<QWidget*>(wsec_label_),
                          static_cast<QWidget*>(sp_wsize_), static_cast<QWidget*>(wsize_label_)}) {
    inside->setEnabled(options_.WaitControlsEnabled());
  }
  showing_ = false;
}

bool OptionsDialog::LoadOptions() {
  bool loaded = true;
  try {
    options_.Load(store_);
  } catch (const std::exception& failure) {
    loaded = false;
    if (on_failure_) on_failure_(failure.what());
  }
  ShowModel();
  return loaded;
}

int OptionsDialog::Open(QWidget* owner) {
  LoadOptions();
  PlaceRelativeTo(this, owner, QPoint(50, 50));
  return exec();
}

void OptionsDialog::OkClick() {
  // A number still being typed counts, brought into its range.
  for (QSpinBox* spin : {ed_timeout_, sp_wsec_, sp_wsize_}) spin->interpretText();
  try {
    options_.Store(store_);
  } catch (const std::exception& failure) {
    if (on_failure_) on_failure_(failure.what());
    return;  // the dialog stays open
  }
  accept();
}

void OptionsDialog::BrowseClick() {
  const std::optional<QString> chosen = dialogs_.ChooseFile(
      this, FileDialogKind::kBrowseLog, NativeFromCp932(options_.LogFileName()));
  if (!chosen) return;
  const std::optional<std::string> name = ToCp932Exact(*chosen);
  if (!name) {
    if (on_failure_) on_failure_("The file name has no Shift-JIS form: " + ToCp932(*chosen));
    return;
  }
  options_.SetLogFileName(*name);
  ShowModel();
}

}  // namespace tarsil::gui
