"""Calibration with your own objective and optimiser: Manning's n of the
valley's forest and pasture fitted to an observed outlet hydrograph by
maximising the Nash-Sutcliffe efficiency with scipy.optimize (Nelder-Mead).

The observed hydrograph here is synthetic: the run with n = 0.20 (forest)
and 0.08 (pasture), so the search should find those values again. Run from
the top of the repository, with the module built:

    PYTHONPATH=build/python /usr/bin/python3 examples/python/calibrate.py --plot calibration.png

Give --observed FILE (two columns: minutes since the start, m3/s) to fit
a hydrograph of your own instead.
"""

import argparse

import numpy
import scipy.optimize

import torva

PROJECT = "examples/python/valley_roughness.prj"
TRUE_N = (0.20, 0.08)  # forest, pasture: what made the synthetic hydrograph


def simulate(n_forest, n_pasture):
    return torva.run(PROJECT, replace={"N_FOREST": n_forest, "N_PASTURE": n_pasture},
                     workdir=".", outputs=False)


def nse(simulated, observed):
    """The Nash-Sutcliffe efficiency: 1 for a perfect fit, 0 for the observed mean."""
    return 1.0 - numpy.sum((simulated - observed) ** 2) / numpy.sum(
        (observed - observed.mean()) ** 2)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--observed", help="observed hydrograph: minutes, m3/s per line")
    parser.add_argument("--start", type=float, nargs=2, default=(0.10, 0.15),
                        metavar=("N_FOREST", "N_PASTURE"), help="first guess (0.10 0.15)")
    parser.add_argument("--plot", help="the picture to write (png, pdf, ...)")
    args = parser.parse_args()

    if args.observed:
        table = numpy.loadtxt(args.observed, ndmin=2)
        observed_time, observed = table[:, 0], table[:, 1]
    else:
        truth = simulate(*TRUE_N)
        observed_time, observed = truth.time_min, truth.discharge

    evaluations = []

    def objective(log_n):
        # The search moves in log n, so that n stays positive and both
        # parameters move on the same relative scale.
        n = numpy.exp(log_n)
        result = simulate(*n)
        # The model's discharge at the observed times.
        q = numpy.interp(observed_time, result.time_min, result.discharge)
        score = nse(q, observed)
        evaluations.append((n[0], n[1], score))
        print("run %3d  n forest %.5f  n pasture %.5f  NSE %.8f" % (len(evaluations), n[0], n[1],
                                                                    score), flush=True)
        return 1.0 - score

    fit = scipy.optimize.minimize(objective, numpy.log(args.start), method="Nelder-Mead",
                                  options={"xatol": 1e-4, "fatol": 1e-10, "maxfev": 200})
    best = numpy.exp(fit.x)
    print("best: n forest %.4f  n pasture %.4f  NSE %.6f after %d runs" %
          (best[0], best[1], 1.0 - fit.fun, len(evaluations)))
    if not args.observed:
        errors = 100.0 * (best - numpy.array(TRUE_N)) / numpy.array(TRUE_N)
        print("off the values that made the hydrograph by %+.2f %% and %+.2f %%" % tuple(errors))
    if not args.plot:
        return

    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    first, fitted = simulate(*args.start), simulate(*best)
    fig, (top, bottom) = plt.subplots(2, 1, figsize=(7, 7))
    top.plot(observed_time, observed, "k.", label="observed")
    top.plot(first.time_min, first.discharge, "--", label="first guess n = %.3f, %.3f" %
             tuple(args.start))
    top.plot(fitted.time_min, fitted.discharge, "-", label="fitted n = %.4f, %.4f (NSE %.4f)" %
             (best[0], best[1], 1.0 - fit.fun))
    top.set_xlabel("minutes")
    top.set_ylabel("outlet discharge (m$^3$/s)")
    top.legend()
    bottom.semilogy(range(1, len(evaluations) + 1),
                    numpy.maximum([1.0 - e[2] for e in evaluations], 1e-12), ".")
    bottom.set_xlabel("run")
    bottom.set_ylabel("1 - NSE")
    fig.tight_layout()
    fig.savefig(args.plot)
    print("wrote", args.plot)


if __name__ == "__main__":
    main()
