#pragma once
// The desktop's secret store (the Secret Service, KWallet, the macOS keychain or the Windows
// credential store, through QtKeychain), for the password of a mail account. Nothing falls
// back to a plain file: where no store is reachable, nothing is kept.
#include <QString>

#include <memory>
#include <optional>

namespace brindle {

class TSecretStore {
public:
    virtual ~TSecretStore() = default;
    // The password kept under key; none when there is none or the store cannot be reached.
    virtual std::optional<QString> Read(const QString& key) = 0;
    // Empty when the password is kept; else why it is not.
    virtual QString Write(const QString& key, const QString& password) = 0;
    // Forgets the password kept under key, if any.
    virtual void Remove(const QString& key) = 0;
};

// The store of the desktop the program runs on.
std::unique_ptr<TSecretStore> DesktopSecretStore();

}  // namespace brindle
