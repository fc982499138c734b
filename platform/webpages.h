// Opening a page in the user's web browser.
#pragma once

#include <QUrl>

class WebPages {
public:
    WebPages() = default;
    WebPages(const WebPages&) = delete;
    WebPages& operator=(const WebPages&) = delete;
    virtual ~WebPages() = default;

    // Asks the desktop to open the page; false when it could not. Never shows anything itself.
    virtual bool open(const QUrl& page) = 0;
};

class DesktopWebPages final : public WebPages {
public:
    bool open(const QUrl& page) override;
};
