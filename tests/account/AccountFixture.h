#pragma once

#include "account/AuthService.h"
#include "account/KeychainStore.h"
#include "account/SessionStore.h"
#include "account/SupabaseClient.h"
#include "platform/qt/NetworkHttpTransport.h"
#include "support/FakeAppleSignInSheet.h"
#include "support/FakeSecretStore.h"
#include "support/FakeUrlOpener.h"
#include "support/LocalAuthServer.h"
#include "support/WaitUntil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <qcoro/qcorotask.h>

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
            AuthService::Platform{http, apple, urlOpener, [this] { return clockNow; }});
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

    // The task's result; its error is thrown here (QCoro::waitFor alone would never return).
    template <typename T> T await(QCoro::Task<T> task)
    {
        std::optional<T> result;
        std::exception_ptr error;
        QCoro::waitFor([](QCoro::Task<T> task, std::optional<T> &result,
                          std::exception_ptr &error) -> QCoro::Task<> {
            try {
                result = co_await std::move(task);
            } catch (...) {
                error = std::current_exception();
            }
        }(std::move(task), result, error));
        if (error)
            std::rethrow_exception(error);
        return std::move(*result);
    }

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
        std::make_shared<platform::NetworkHttpTransport>(std::chrono::milliseconds(500));
    KeychainStore keychain{secrets};
    std::unique_ptr<SessionStore> session;
    std::unique_ptr<SupabaseClient> client;
    std::unique_ptr<AuthService> service;
};
