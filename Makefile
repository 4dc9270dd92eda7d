# One entry point for everything:
#   make        install what is missing, build all trees, run the main job
#   make test   install what is missing, build all trees, run every test
# Other targets: deps native win32 win64 build run bench fuzz check-imports
#                screenshots install clean
#   make install [PREFIX=/usr/local] [DESTDIR=...]   tdz and its manual page

SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -c
# The trees share two cores; each build already runs two jobs.
.NOTPARALLEL:

JOBS     ?= 2
CMAKE    ?= cmake
BUILD    := build
CORPUS   := $(abspath ../shared/corpus)
# The corpus files measured, one name a line: the same list as the benchmark's.
CORPUS_LIST := bench/corpus-files.txt
PREFIX   ?= /usr/local
WINE_RUN := tools/wine-run.sh --prefix $(BUILD)/win64/wineprefix
TDZ      := $(BUILD)/native/tools/tdz/tdz

# $(call timed,label,command): runs command, reports how long it took.
define timed
	@echo "==> $(1)"
	@start=$$(date +%s); $(2); status=$$?; \
	echo "==> $(1): $$(( $$(date +%s) - start )) s$$( [ $$status -eq 0 ] || echo ", FAILED ($$status)")"; \
	exit $$status
endef

.PHONY: all deps native win32 win64 build run test test-native test-win64 \
        check-imports fuzz bench screenshots install clean

all: deps build run

deps:
	@tools/install-deps.sh

# Configuring again on every call is cheap and picks up areas that have
# gained a CMakeLists.txt since the last run.
native: deps
	$(call timed,build native,$(CMAKE) -S . -B $(BUILD)/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null && $(CMAKE) --build $(BUILD)/native -j $(JOBS))

win32: deps
	$(call timed,build win32,$(CMAKE) -S . -B $(BUILD)/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-win32.cmake >/dev/null && $(CMAKE) --build $(BUILD)/win32 -j $(JOBS))

win64: deps
	$(call timed,build win64,$(CMAKE) -S . -B $(BUILD)/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-win64.cmake >/dev/null && $(CMAKE) --build $(BUILD)/win64 -j $(JOBS))

# The 64-bit tree first: the 32-bit Tandrel.exe carries its TDShellExt64.dll.
build: native win64 win32

# The main job: every corpus file of $(CORPUS_LIST) through `tdz encode` and
# `tdz decode`, checked byte for byte; then packed by `tdz pack` and
# restored by Decompression.exe under Wine. Both halves see the listed files
# only, through links in $(BUILD)/run/corpus.
run: native
	@if [ ! -x $(TDZ) ]; then \
	  echo "run: $(TDZ) is not built yet; nothing to run"; exit 0; \
	fi; \
	if [ ! -d $(CORPUS) ]; then \
	  echo "run: corpus $(CORPUS) not found; nothing to run"; exit 0; \
	fi; \
	out=$(BUILD)/run; rm -rf $$out/corpus; mkdir -p $$out/corpus; total_in=0; total_out=0; \
	while read -r n; do \
	  case "$$n" in ''|'#'*) continue ;; esac; \
	  f=$(CORPUS)/$$n; \
	  [ -f "$$f" ] || { echo "run: $$n (named in $(CORPUS_LIST)) is missing from $(CORPUS)"; exit 1; }; \
	  ln -s "$$f" "$$out/corpus/$$n"; \
	  $(TDZ) encode "$$f" "$$out/$$n.relc" || exit 1; \
	  $(TDZ) decode "$$out/$$n.relc" "$$out/$$n.out" || exit 1; \
	  cmp -s "$$f" "$$out/$$n.out" || { echo "run: $$n does not round-trip"; exit 1; }; \
	  a=$$(stat -c %s "$$f"); b=$$(stat -c %s "$$out/$$n.relc"); \
	  total_in=$$((total_in + a)); total_out=$$((total_out + b)); \
	  printf '%-20s %9d -> %9d bytes (%s%%)\n' "$$n" $$a $$b $$( [ $$a -gt 0 ] && echo $$((b * 100 / a)) || echo -); \
	done <$(CORPUS_LIST); \
	printf '%-20s %9d -> %9d bytes, all restored identically\n' total $$total_in $$total_out
	@# Then every corpus file packed by `tdz pack` and restored by
	@# Decompression.exe (the 64-bit twin) under Wine.
	@if [ -x $(TDZ) ] && [ -d $(CORPUS) ]; then \
	  if [ -f $(BUILD)/win64/src/decompression/Decompression.exe ]; then \
	    tools/with-xvfb.sh $(WINE_RUN) --session bash tests/decompression/restore-demo.sh \
	      $(TDZ) $(BUILD)/win64 $(BUILD)/run/corpus $(BUILD)/run/decompression; \
	  else \
	    echo "run: $(BUILD)/win64 has no Decompression.exe yet (make win64)"; \
	  fi; \
	fi

test: deps build
	$(MAKE) --no-print-directory test-native test-win64 check-imports fuzz

test-native:
	$(call timed,native tests,ctest --test-dir $(BUILD)/native --output-on-failure -j $(JOBS) --no-tests=ignore)

# Under Xvfb for the GUI tests; the Wine prefix is made before ctest so its
# first start does not count against test discovery, and the wineserver is
# stopped afterwards.
test-win64:
	$(call timed,win64 tests under Wine,tools/with-xvfb.sh $(WINE_RUN) --session ctest --test-dir $(BUILD)/win64 --output-on-failure -j $(JOBS) --no-tests=ignore)

check-imports:
	$(call timed,import tables,tests/imports/check-imports.sh $(BUILD)/win32 $(BUILD)/win64)

fuzz:
	$(call timed,fuzzers,if [ -f tests/fuzz/run-fuzzers.sh ]; then bash tests/fuzz/run-fuzzers.sh; else echo "tests/fuzz/run-fuzzers.sh not present; skipped"; fi)

bench: native
	@if [ -x $(BUILD)/native/bench/relc_bench ]; then \
	  $(BUILD)/native/bench/relc_bench; \
	else \
	  echo "bench: $(BUILD)/native/bench/relc_bench is not built yet"; \
	fi

# PNG pictures of every dialog of both programs in English, German,
# Japanese and Arabic, under $(BUILD)/screenshots/LANG/.
screenshots: deps win64
	$(call timed,screenshots,tools/with-xvfb.sh $(WINE_RUN) --session bash tests/decompression/take-screenshots.sh $(BUILD)/win64 $(BUILD)/screenshots)

# tdz and its manual page under $(DESTDIR)$(PREFIX): bin/tdz,
# share/man/man1/tdz.1.
install: native
	DESTDIR="$(DESTDIR)" $(CMAKE) --install $(BUILD)/native --prefix "$(PREFIX)" --component tdz

clean:
	@if [ -d $(BUILD)/win64/wineprefix ]; then $(WINE_RUN) --kill; fi
	rm -rf $(BUILD)
