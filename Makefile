# make run      install what is missing, build in Release, start Varnel
# make test     install what is missing, build, run every test through CTest
# make package  install what is missing, build, make the Debian package

# Debian packages the build, the tests and the benchmarks use.
PACKAGES := g++ make cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
            qt6-base-dev qt6-qpa-plugins libgl-dev fontconfig libfontconfig-dev \
            fonts-arphic-uming fonts-liberation2 fonts-wqy-microhei libx11-dev \
            xvfb xdotool xclip x11-utils imagemagick openbox wmctrl dbus-daemon \
            binutils-mingw-w64-x86-64 clang libclang-rt-14-dev \
            nlohmann-json3-dev libeigen3-dev python3-numpy time clang-format \
            qt6-charts-dev qt6-svg-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools \
            libqt6svg6 qt6-translations-l10n qt6-serialport-dev libqt6sql6-sqlite libqt6sql6-psql postgresql \
            dpkg-dev lintian appstream desktop-file-utils groff-base man-db bash-completion

BUILD := build
ASAN_BUILD := build-asan
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS := 30
JOBS := $(shell nproc 2>/dev/null || echo 2)
# CI builds with warnings as errors.
WERROR := $(if $(CI),ON,OFF)
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: run test build deps clean package

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed$$' \
	    || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DVARNEL_WERROR=$(WERROR)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/varnel

# The seeded batteries measure rates, the same in every build: they run in
# Release; under the sanitizers their code paths run in the model and fit
# tests, at a fraction of the time.
# So do the checks in a real X server: sanitized, the windows' code runs in
# the offscreen window tests.
RELEASE_ONLY := ^((DiagnosisGoals|VerdictGoals|DesignBattery|MatrixDiagnosisBattery|ScrewBench)\.|xvfb_|tutorial_pictures$$)
# Sanitized builds keep line tables alone: enough for a report's stack.
SANITIZED_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"

# Every test, then every test again under AddressSanitizer and
# UndefinedBehaviorSanitizer (halting on the first report), then each fuzz
# target for FUZZ_SECONDS.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B $(ASAN_BUILD) $(SANITIZED_FLAGS) -DVARNEL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -E '$(RELEASE_ONLY)'
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(SANITIZED_FLAGS) -DVARNEL_FUZZ=ON \
	  -Dfuzz_seconds=$(FUZZ_SECONDS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	cd $(FUZZ_BUILD) && ctest --output-on-failure -j $(JOBS)

# varnel_VERSION_ARCH.deb in the build folder.
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
