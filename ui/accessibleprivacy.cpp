// An accessibility factory that gives private widgets a blank stand-in and leaves them out of
// their parent's children.
#include "ui/accessibleprivacy.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QWidget>

#include <algorithm>

namespace {

const char* const privateProperty = "quenloHiddenFromAccessibility";

bool isPrivate(const QObject* object) {
    return object && object->property(privateProperty).toBool();
}

bool hasPrivateChild(const QObject* object) {
    const QObjectList& children = object->children();
    return std::any_of(children.begin(), children.end(), isPrivate);
}

// What an assistive tool gets for a private widget: valid (so the bridge drops its change events
// instead of tripping over them) but with no text interface, no text, no parent and no place.
class BlankAccessible final : public QAccessibleObject {
public:
    explicit BlankAccessible(QObject* object)
        : QAccessibleObject(object) {}
    QAccessibleInterface* parent() const override { return nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text) const override { return {}; }
    QAccessible::Role role() const override { return QAccessible::NoRole; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = true;
        state.offscreen = true;
        return state;
    }
};

// The plain container of private widgets: Qt's own interface for it, less those children.
class FilteredContainerAccessible final : public QAccessibleWidget {
public:
    explicit FilteredContainerAccessible(QWidget* widget)
        : QAccessibleWidget(widget) {}
    int childCount() const override { return int(shownChildren().size()); }
    QAccessibleInterface* child(int index) const override { return shownChildren().value(index); }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return int(shownChildren().indexOf(const_cast<QAccessibleInterface*>(child)));
    }

private:
    QList<QAccessibleInterface*> shownChildren() const {
        QList<QAccessibleInterface*> shown;
        for (int i = 0, count = QAccessibleWidget::childCount(); i < count; ++i) {
            QAccessibleInterface* child = QAccessibleWidget::child(i);
            if (child && !isPrivate(child->object()))
                shown.append(child);
        }
        return shown;
    }
};

QAccessibleInterface* privacyFactory(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    if (isPrivate(object))
        return new BlankAccessible(object);
    // Only a plain QWidget, whose interface Qt builds the same way, is replaced.
    if (className == QLatin1String("QWidget") && hasPrivateChild(object))
        return new FilteredContainerAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

// An interface made before the widget was marked (accessibility already on) is dropped, so the
// next query goes through the factory.
template <typename Wanted> void replaceCachedInterface(QObject* object) {
    QAccessibleInterface* cached = QAccessible::queryAccessibleInterface(object);
    if (cached && !dynamic_cast<Wanted*>(cached))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(cached));
}

} // namespace

void hideFromAccessibility(const QList<QWidget*>& widgets) {
    QAccessible::installFactory(privacyFactory);
    for (QWidget* widget : widgets)
        widget->setProperty(privateProperty, true);
    for (QWidget* widget : widgets) {
        replaceCachedInterface<BlankAccessible>(widget);
        QWidget* parent = widget->parentWidget();
        Q_ASSERT_X(parent && QLatin1String(parent->metaObject()->className()) == QLatin1String("QWidget"),
                   "hideFromAccessibility", "private widgets live in a plain container");
        if (parent)
            replaceCachedInterface<FilteredContainerAccessible>(parent);
    }
}
