#include "ui/ContentView.h"

#include "model/Texts.h"
#include "ui/CpuIcon.h"
#include "ui/QtMainThread.h"
#include "ui/StatusMarkup.h"
#include "ui/Theme.h"
#include "ui/Widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QVBoxLayout>

namespace ui {

using theme::TextStyle;

namespace {

constexpr int kInset = 30;
constexpr int kSpacing = 20;
constexpr int kIconSize = 40;
constexpr int kIconSpaceBelow = 5;
constexpr int kCardInset = 12;
constexpr int kCardRowSpacing = 12;
constexpr qreal kCardRadius = 12;
constexpr int kScoreSpaceAbove = 10;
constexpr int kScoreInnerSpacing = 2;
constexpr int kStatusHeight = 40;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

ContentView::ContentView(QWidget* parent)
    : ContentView([] { return model::BenchmarkViewModel::create(qtMainThreadPoster()); }, parent) {}

ContentView::ContentView(ViewModelFactory makeViewModel, QWidget* parent)
    : QWidget(parent), makeViewModel_(std::move(makeViewModel)) {
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    setPalette(theme::darkPalette());
    buildLayout();
}

ContentView::~ContentView() = default;

void ContentView::buildLayout() {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(kInset, kInset, kInset, kInset);
    stack->setSpacing(kSpacing);

    auto* icon = new CpuIcon(kIconSize, theme::blue());
    icon->setObjectName("cpuIcon");
    stack->addWidget(withMargins(icon, {0, 0, 0, kIconSpaceBelow}, Qt::AlignHCenter));

    auto* title = makeLabel(tr("Apple Silicon Native Benchmark"), theme::font(TextStyle::Title2),
                            theme::label());
    title->setObjectName("title");
    stack->addWidget(title, 0, Qt::AlignHCenter);

    stack->addWidget(buildHardwareCard());
    stack->addWidget(buildScorePanel());
    stack->addStretch(1);

    statusLine_ = makeLabel(QString(), theme::font(TextStyle::Footnote), theme::gray());
    statusLine_->setTextFormat(Qt::RichText); // built by statusMarkup, which escapes the text
    statusLine_->setObjectName("statusLine");
    statusLine_->setAccessibleName(tr("Durum"));
    statusLine_->setWordWrap(true);
    statusLine_->setAlignment(Qt::AlignCenter);
    statusLine_->setFixedHeight(kStatusHeight);
    stack->addWidget(statusLine_);

    startButton_ = new PlainButton({theme::white(), theme::blue()},
                                   {theme::gray(), QColor(255, 255, 255, 26)});
    startButton_->setObjectName("startButton");
    startButton_->setFont(theme::font(TextStyle::Headline));
    connect(startButton_, &QPushButton::clicked, this, [this] {
        if (vm_) {
            vm_->startBenchmark();
        }
    });
    stack->addWidget(startButton_);
}

QWidget* ContentView::buildHardwareCard() {
    auto* card = new RoundedPanel(QColor(255, 255, 255, 13), kCardRadius);
    card->setObjectName("hardwareCard");
    auto* rows = new QVBoxLayout(card);
    rows->setContentsMargins(kCardInset, kCardInset, kCardInset, kCardInset);
    rows->setSpacing(kCardRowSpacing);

    const auto addRow = [&](const QString& caption, const char* name) {
        auto* row = new QHBoxLayout;
        row->addWidget(makeLabel(caption, theme::font(TextStyle::Body), theme::gray()));
        row->addStretch(1);
        auto* value = makeLabel(QString(), theme::font(TextStyle::BodyMedium), theme::label());
        value->setObjectName(name);
        row->addWidget(value);
        rows->addLayout(row);
        return value;
    };
    deviceValue_ = addRow(tr(model::texts::kDeviceLabel), "deviceValue");
    chipValue_ = addRow(tr(model::texts::kChipLabel), "chipValue");
    ramValue_ = addRow(tr(model::texts::kRamLabel), "ramValue");
    return card;
}

QWidget* ContentView::buildScorePanel() {
    scorePanel_ = new QWidget;
    scorePanel_->setObjectName("scorePanel");
    auto* layout = new QVBoxLayout(scorePanel_);
    layout->setContentsMargins(0, kScoreSpaceAbove, 0, 0);
    layout->setSpacing(kScoreInnerSpacing);

    auto* caption =
        makeLabel(tr(model::texts::kScoreCaption), theme::font(TextStyle::Headline), theme::gray());
    caption->setObjectName("scoreCaption");
    layout->addWidget(caption, 0, Qt::AlignHCenter);

    scoreValue_ = makeLabel(QString(), theme::font(TextStyle::ScoreValue), theme::green());
    scoreValue_->setObjectName("scoreValue");
    layout->addWidget(scoreValue_, 0, Qt::AlignHCenter);
    scorePanel_->setVisible(false); // absent, and spending no spacing, until there is a score
    return scorePanel_;
}

void ContentView::showEvent(QShowEvent* event) {
    if (!vm_) {
        vm_ = makeViewModel_();
        subscription_ = vm_->objectWillChange.subscribe([this] { scheduleRefresh(); });
        showFacts();
        refresh();
    }
    QWidget::showEvent(event);
}

void ContentView::showFacts() {
    // Read once at construction and never changed, so set once.
    deviceValue_->setText(qs(vm_->deviceName()));
    chipValue_->setText(qs(vm_->chipName()));
    ramValue_->setText(qs(model::texts::ramText(vm_->ramGB())));
}

void ContentView::scheduleRefresh() {
    // The value is stored only after the announcement: read it on the next turn
    // of the loop, once for however many changes came in between.
    if (refreshPending_) {
        return;
    }
    refreshPending_ = true;
    QMetaObject::invokeMethod(this, &ContentView::refresh, Qt::QueuedConnection);
}

void ContentView::refresh() {
    refreshPending_ = false;
    const model::BenchmarkViewModel& vm = *vm_;

    if (const std::optional<double>& score = *vm.score) {
        scoreValue_->setText(qs(model::texts::scoreText(*score)));
        scoreValue_->setAccessibleName(tr(model::texts::kScoreCaption) + ": " +
                                       scoreValue_->text());
    }
    scorePanel_->setVisible(vm.score->has_value());

    const bool running = *vm.isRunning;
    statusLine_->setText(statusMarkup(qs(*vm.status)));
    statusLine_->setAccessibleDescription(qs(*vm.status));
    setTextColor(statusLine_, running ? theme::orange() : theme::gray());
    startButton_->setText(running ? tr("Stres Testi Sürüyor...") : tr("Kapsamlı Testi Başlat"));
    startButton_->setEnabled(!running);
    startButton_->update();
}

} // namespace ui
