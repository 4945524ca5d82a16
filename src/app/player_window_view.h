#pragma once

#include "player_view.h"

class PlayerIntegration;
class TForm1;

// The player's view on the main window.
class PlayerWindowView : public PlayerView {
public:
    explicit PlayerWindowView(TForm1& window) : window_(window) {}

    // Hands the window's controls and views to the player.
    void wire(PlayerIntegration& player);

    QWidget* window() override;
    QWidget* positionLabel() override;
    void setStatusText(const QString& text) override;
    void showControls(const PlayerControls& controls, bool repeat, bool shuffle) override;
    void showTimeMode(int mode) override;
    void showTrayDisplay(bool on) override;
    const TreeNode* currentNode() const override;
    QStringList selectedTitles() const override;
    int selectedCount() const override;
    ViewContext& viewContext() override;
    void rebuildView() override;
    void showPlaylist() override;

private:
    TForm1& window_;
};
