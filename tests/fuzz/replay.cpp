// Replays every input of the committed regression corpus through the fuzz target, in name order:
// each input that ever found a fault is checked again on every test run, with the compiler and
// sanitizers of the build at hand. Usage: fuzz_replay CORPUS_FOLDER
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
    return 2;
  }
  const QDir corpus(QFile::decodeName(argv[1]));
  const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
  if (names.isEmpty()) {
    fprintf(stderr, "no inputs in %s\n", argv[1]);
    return 2;
  }
  for (const QString& name : names) {
    QFile f(corpus.filePath(name));
    if (!f.open(QIODevice::ReadOnly)) return 2;
    const QByteArray bytes = f.readAll();
    fprintf(stderr, "%s (%lld bytes)\n", qPrintable(name), static_cast<long long>(bytes.size()));
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                           static_cast<size_t>(bytes.size()));  // aborts on a finding
  }
  printf("%lld inputs replayed, no finding\n", static_cast<long long>(names.size()));
  return 0;
}
