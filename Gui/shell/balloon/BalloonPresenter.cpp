#include "shell/balloon/BalloonPresenter.h"

#include "shell/balloon/Balloon.h"
#include "shell/balloon/BalloonTexts.h"

BalloonPresenter::BalloonPresenter(std::function<QRect()> anchorIn, QObject* parent)
    : QObject(parent), anchor(std::move(anchorIn)), balloon(new Balloon) {
    connect(balloon, &Balloon::MessageLinkActivated, this, &BalloonPresenter::MessageLinkActivated);
}

BalloonPresenter::~BalloonPresenter() {
    delete balloon;
}

bool BalloonPresenter::Show(const QString& newTitle, const QString& body, int icon, bool force) {
    if (IsVisible() && forced && !force) {
        return false;
    }
    title = newTitle;
    forced = force;
    balloon->ShowMarkup(BalloonTexts::Frame(icon, newTitle, body), anchor ? anchor() : QRect());
    emit Shown(newTitle);
    return true;
}

void BalloonPresenter::Hide() {
    balloon->hide();
}

bool BalloonPresenter::IsVisible() const {
    return balloon->isVisible();
}
