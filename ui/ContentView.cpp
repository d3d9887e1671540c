#include "ui/ContentView.h"

#include "model/Texts.h"
#include "ui/Accessibility.h"
#include "ui/CpuIcon.h"
#include "ui/QtMainThread.h"
#include "ui/StatusMarkup.h"
#include "ui/Theme.h"
#include "ui/Widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QVBoxLayout>

#include <utility>

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
    setAccessibleRole(this, QAccessible::Window); // not an unnamed filler
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
    setAccessibleRole(title, QAccessible::Heading);
    setAccessibleName(title->text()); // the window has no title of its own
    stack->addWidget(title, 0, Qt::AlignHCenter);

    stack->addWidget(buildHardwareCard());
    stack->addStretch(1);

    stack->addWidget(buildStatusBar());
    stack->addWidget(buildStartButton());
}

QWidget* ContentView::buildStatusBar() {
    statusLine_ = makeLabel(QString(), theme::font(TextStyle::Footnote), theme::gray());
    statusLine_->setTextFormat(Qt::RichText); // built by statusMarkup, which escapes the text
    statusLine_->setObjectName("statusLine");
    statusLine_->setWordWrap(true);
    statusLine_->setAlignment(Qt::AlignCenter);
    statusLine_->setFixedHeight(kStatusHeight);
    setAccessibleRole(statusLine_, QAccessible::Notification);
    // Inside a status bar, so that a screen reader's status bar command finds it.
    auto* statusBar = withMargins(statusLine_, {});
    setAccessibleRole(statusBar, QAccessible::StatusBar);
    return statusBar;
}

QWidget* ContentView::buildStartButton() {
    startButton_ = new PlainButton({theme::white(), theme::blue()},
                                   {theme::gray(), QColor(255, 255, 255, 26)});
    startButton_->setObjectName("startButton");
    startButton_->setFont(theme::font(TextStyle::Headline));
    connect(startButton_, &QPushButton::clicked, this, [this] {
        if (vm_) {
            vm_->startBenchmark();
        }
    });
    return startButton_;
}

QWidget* ContentView::buildHardwareCard() {
    auto* card = new RoundedPanel(QColor(255, 255, 255, 13), kCardRadius);
    hardwareCard_ = card;
    card->setObjectName("hardwareCard");
    auto* rows = new QVBoxLayout(card);
    rows->setContentsMargins(kCardInset, kCardInset, kCardInset, kCardInset);
    rows->setSpacing(kCardRowSpacing);

    const auto addRow = [&](const QString& caption, const char* name) {
        auto* row = new QHBoxLayout;
        auto* label = makeLabel(caption, theme::font(TextStyle::Body), theme::gray());
        row->addWidget(label);
        row->addStretch(1);
        auto* value = makeLabel(QString(), theme::font(TextStyle::BodyMedium), theme::label());
        value->setObjectName(name);
        label->setBuddy(value); // a screen reader reads the value with its caption
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
    // Read out as a whole when it appears: its caption, then its value.
    setAccessibleRole(scorePanel_, QAccessible::Notification);
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
    return scorePanel_;
}

void ContentView::showScore(const std::optional<double>& score) {
    if (!score) {
        // Absent, and spending no spacing, until there is a score.
        delete std::exchange(scorePanel_, nullptr);
        scoreValue_ = nullptr;
        return;
    }
    const QString text = qs(model::texts::scoreText(*score));
    if (scorePanel_ != nullptr) {
        scoreValue_->setText(text);
        return;
    }
    // A new group for every score: Qt never tells a screen reader that a group
    // it saw hidden became visible, so a hidden one would stay unread.
    auto* stack = static_cast<QVBoxLayout*>(layout());
    stack->insertWidget(stack->indexOf(hardwareCard_) + 1, buildScorePanel());
    scoreValue_->setText(text);
    scorePanel_->show();
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
    const auto show = [](QLabel* value, const std::string& text) {
        value->setText(qs(text));
        // Empty, it would be read as its caption a second time.
        value->setAccessibleName(text.empty() ? tr("boş") : QString());
    };
    show(deviceValue_, vm_->deviceName());
    show(chipValue_, vm_->chipName());
    show(ramValue_, model::texts::ramText(vm_->ramGB()));
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
    const bool running = *vm.isRunning;
    // A screen reader follows the focus and stops speaking to read the newly
    // focused object. During a run the status line holds the focus, so its
    // running text is read; the button takes it back before anything else
    // is said, and before the status line, no longer focused, is renamed.
    startButton_->setText(running ? tr("Stres Testi Sürüyor...") : tr("Kapsamlı Testi Başlat"));
    if (!running) {
        startButton_->setAvailable(true);
    }
    const QString status = qs(*vm.status);
    statusLine_->setText(statusMarkup(status));
    const bool renamed = statusLine_->accessibleName() != status; // the plain text
    // The first text is there when the window opens; every later one is announced.
    const bool announced = renamed && !statusLine_->accessibleName().isEmpty();
    if (renamed) {
        statusLine_->setAccessibleName(status);
    }
    setTextColor(statusLine_, running ? theme::orange() : theme::gray());
    if (running) {
        startButton_->setAvailable(false, statusLine_);
    }
    startButton_->update();
    showScore(*vm.score);
    if (announced && !statusLine_->hasFocus()) {
        announce(statusLine_);
    }
}

} // namespace ui
