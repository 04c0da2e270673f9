#pragma once

#include "account/AuthService.h"
#include "account/KeychainStore.h"
#include "account/SessionStore.h"
#include "account/SupabaseClient.h"
#include "platform/qt/NetworkHttpTransport.h"
#include "support/AwaitError.h"
#include "support/FakeAppleSignInSheet.h"
#include "support/FakeSecretStore.h"
#include "support/FakeUrlOpener.h"
#include "support/Gate.h"
#include "support/LocalAuthServer.h"
#include "support/WaitUntil.h"

#include <QTemporaryDir>
#include <QUrlQuery>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <qcoro/qcorotask.h>

// The fixture's transport, with the answers to the requests `held` picks kept back until `gate`
// opens, as a slow backend would keep them.
class HoldingTransport final : public platform::HttpTransport {
public:
    explicit HoldingTransport(std::shared_ptr<platform::HttpTransport> inner)
        : m_inner(std::move(inner))
    {
    }
    QCoro::Task<platform::HttpResponse> send(platform::HttpRequest request) override
    {
        const bool hold = held && held(request);
        platform::HttpResponse response = co_await m_inner->send(std::move(request));
        if (hold)
            co_await gate.pass();
        co_return response;
    }
    // Holds the answers of one grant of the token endpoint ("pkce", "password", ...).
    void holdGrant(const QString &grant)
    {
        held = [grant](const platform::HttpRequest &request) {
            return QUrlQuery(request.url).queryItemValue(QStringLiteral("grant_type")) == grant;
        };
        gate.close();
    }

    std::function<bool(const platform::HttpRequest &)> held;
    Gate gate;

private:
    std::shared_ptr<platform::HttpTransport> m_inner;
};

// The account's object graph over the local backend, an in-memory secret store and a
// scripted Apple sheet, with a clock the test moves. restart() builds a new auth service over
// the same stores, as the next start of the program would.
class AccountFixture : public ::testing::Test {
protected:
    void SetUp() override { start(); }

    void start()
    {
        service.reset();
        session = std::make_unique<SessionStore>(keychain, dataFolder.filePath("session-end"));
        client = std::make_unique<SupabaseClient>(server.origin(),
                                                  QString::fromLatin1(LocalAuthServer::apiKey));
        service = std::make_unique<AuthService>(
            *session, *client,
            AuthService::Platform{holding, apple, urlOpener, [this] { return clockNow; }});
        ASSERT_TRUE(waitUntil([this] { return service->isRestored(); }));
    }
    void restart() { start(); }

    QByteArray stored(const char *key) const
    {
        return secrets->items.value(
            {QString::fromLatin1(KeychainStore::defaultService), QString::fromLatin1(key)});
    }
    bool has(const char *key) const
    {
        return secrets->items.contains(
            {QString::fromLatin1(KeychainStore::defaultService), QString::fromLatin1(key)});
    }

    // The task's result; its error is thrown here.
    template <typename T> T await(QCoro::Task<T> task) { return awaited(std::move(task)); }

    UserProfile signInByEmail()
    {
        return await(service->signInWithEmail(QString::fromLatin1(LocalAuthServer::email),
                                              QString::fromLatin1(LocalAuthServer::password)));
    }

    QTemporaryDir dataFolder;
    std::chrono::steady_clock::time_point clockNow = std::chrono::steady_clock::now();
    LocalAuthServer server;
    std::shared_ptr<FakeSecretStore> secrets = std::make_shared<FakeSecretStore>();
    std::shared_ptr<FakeAppleSignInSheet> apple = std::make_shared<FakeAppleSignInSheet>();
    std::shared_ptr<FakeUrlOpener> urlOpener = std::make_shared<FakeUrlOpener>();
    std::shared_ptr<platform::NetworkHttpTransport> http =
        std::make_shared<platform::NetworkHttpTransport>(
            std::chrono::milliseconds(500 * buildSlowdown));
    std::shared_ptr<HoldingTransport> holding = std::make_shared<HoldingTransport>(http);
    KeychainStore keychain{secrets};
    std::unique_ptr<SessionStore> session;
    std::unique_ptr<SupabaseClient> client;
    std::unique_ptr<AuthService> service;
};
