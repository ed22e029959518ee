#include "app/SecretStore.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>

namespace brindle {
namespace {

const QString kService = QStringLiteral("Brindle");

// Runs a keychain job to its end; the jobs report through the event loop.
void RunToEnd(QKeychain::Job& job) {
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
}

class TKeychainStore : public TSecretStore {
public:
    std::optional<QString> Read(const QString& key) override {
        QKeychain::ReadPasswordJob job(kService);
        job.setKey(key);
        RunToEnd(job);
        if (job.error() != QKeychain::NoError) return std::nullopt;
        return job.textData();
    }

    QString Write(const QString& key, const QString& password) override {
        QKeychain::WritePasswordJob job(kService);
        job.setKey(key);
        job.setTextData(password);
        RunToEnd(job);
        if (job.error() == QKeychain::NoError) return {};
        return job.errorString().isEmpty() ? QStringLiteral("the secret store cannot be reached") : job.errorString();
    }

    void Remove(const QString& key) override {
        QKeychain::DeletePasswordJob job(kService);
        job.setKey(key);
        RunToEnd(job);
    }
};

}  // namespace

std::unique_ptr<TSecretStore> DesktopSecretStore() { return std::make_unique<TKeychainStore>(); }

}  // namespace brindle
