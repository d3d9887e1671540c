#pragma once

#include "model/BenchmarkViewModel.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;

namespace ui {

class PlainButton;

// The window's whole content: the hardware facts, the last score, the status
// line and the start button, all drawn from one view model. The view keeps no
// state of its own beyond that model.
class ContentView : public QWidget {
    Q_OBJECT

public:
    using ViewModelFactory = std::function<std::shared_ptr<model::BenchmarkViewModel>()>;

    static constexpr int kWidth = 450;
    static constexpr int kHeight = 500;

    // A view model of the system's own facts and service, posting to Qt's loop.
    explicit ContentView(QWidget* parent = nullptr);
    // `makeViewModel` runs once, when the view is first shown.
    explicit ContentView(ViewModelFactory makeViewModel, QWidget* parent = nullptr);
    ~ContentView() override;

    // Null until the view has been shown.
    const std::shared_ptr<model::BenchmarkViewModel>& viewModel() const { return vm_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    QWidget* buildHardwareCard();
    QWidget* buildStatusBar();
    QWidget* buildStartButton();
    QWidget* buildScorePanel();
    void showFacts();
    void showScore(const std::optional<double>& score);
    void scheduleRefresh();
    void refresh();

    ViewModelFactory makeViewModel_;
    std::shared_ptr<model::BenchmarkViewModel> vm_;
    model::Publisher::Subscription subscription_;
    bool refreshPending_ = false;

    QLabel* deviceValue_ = nullptr;
    QLabel* chipValue_ = nullptr;
    QLabel* ramValue_ = nullptr;
    QWidget* hardwareCard_ = nullptr;
    QWidget* scorePanel_ = nullptr; // only while there is a score
    QLabel* scoreValue_ = nullptr;
    QLabel* statusLine_ = nullptr;
    PlainButton* startButton_ = nullptr;
};

} // namespace ui
