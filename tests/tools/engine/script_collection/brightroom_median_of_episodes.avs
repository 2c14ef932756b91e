# From Subdivers/Bakutou-Sengen-Daigunder, brightroom.avs: one scene of the
# opening as 33 episodes' captures have it, each cleaned by TemporalMedian,
# then the median of eleven captures at a time and the average of the three
# medians, the scene played twice and resized without its ragged edges.
# "Z:\dconv2\src\NN.avi" are the NN.avi captures made here, one picture with
# noise of its own in each; every step up to the resize gives what ffmpeg's
# tmedian (centred), xmedian, mix, trim and loop give, the whole within 47 dB
# of ffmpeg's crop and bilinear scale.
# media: 01.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=1 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 02.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=2 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 03.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=3 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 04.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=4 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 05.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=5 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 06.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=6 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 07.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=7 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 08.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=8 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 09.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=9 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 10.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=10 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 11.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=11 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 12.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=12 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 13.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=13 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 14.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=14 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 15.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=15 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 16.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=16 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 17.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=17 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 18.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=18 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 19.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=19 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 20.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=20 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 21.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=21 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 22.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=22 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 23.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=23 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 24.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=24 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 25.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=25 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 26.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=26 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 27.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=27 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 28.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=28 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 29.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=29 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 30.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=30 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 31.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=31 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 32.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=32 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# media: 33.avi -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001,noise=alls=40:allf=t:all_seed=33 -frames:v 150 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=120 size=640x480 fps=24000/1001 audio=none
# video-md5: f17a8de7b711b1cfd5c5688fe0bdcd6c
a01 = LWLibavVideoSource("01.avi").Trim(0, 149).TemporalMedian()
a02 = LWLibavVideoSource("02.avi").Trim(0, 141).TemporalMedian()
a03 = LWLibavVideoSource("03.avi").Trim(0, 142).TemporalMedian()
a04 = LWLibavVideoSource("04.avi").Trim(0, 144).TemporalMedian()
a05 = LWLibavVideoSource("05.avi").Trim(0, 149).TemporalMedian()
a05 = LWLibavVideoSource("05.avi").Trim(0, 149).TemporalMedian()
a06 = LWLibavVideoSource("06.avi").Trim(0, 150 - 1).TemporalMedian()
a07 = LWLibavVideoSource("07.avi").Trim(0, 150 - 1).TemporalMedian()
a08 = LWLibavVideoSource("08.avi").Trim(0, 150 - 1).TemporalMedian()
a09 = LWLibavVideoSource("09.avi").Trim(0, 150 - 1).TemporalMedian()
a10 = LWLibavVideoSource("10.avi").Trim(0, 150 - 1).TemporalMedian()
a11 = LWLibavVideoSource("11.avi").Trim(0, 150 - 1).TemporalMedian()
a12 = LWLibavVideoSource("12.avi").Trim(0, 150 - 1).TemporalMedian()
a13 = LWLibavVideoSource("13.avi").Trim(0, 150 - 1).TemporalMedian()
a14 = LWLibavVideoSource("14.avi").Trim(0, 145 - 1).TemporalMedian()
a15 = LWLibavVideoSource("15.avi").Trim(0, 146 - 1).TemporalMedian()
a16 = LWLibavVideoSource("16.avi").Trim(0, 146 - 1).TemporalMedian()
a17 = LWLibavVideoSource("17.avi").Trim(0, 150 - 1).TemporalMedian()
a18 = LWLibavVideoSource("18.avi").Trim(0, 143 - 1).TemporalMedian()
a19 = LWLibavVideoSource("19.avi").Trim(0, 146 - 1).TemporalMedian()
a20 = LWLibavVideoSource("20.avi").Trim(0, 149 - 1).TemporalMedian()
a21 = LWLibavVideoSource("21.avi").Trim(0, 150 - 1).TemporalMedian()
a22 = LWLibavVideoSource("22.avi").Trim(0, 150 - 1).TemporalMedian()
a23 = LWLibavVideoSource("23.avi").Trim(0, 150 - 1).TemporalMedian()
a24 = LWLibavVideoSource("24.avi").Trim(0, 150 - 1).TemporalMedian()
a25 = LWLibavVideoSource("25.avi").Trim(0, 149 - 1).TemporalMedian()
a26 = LWLibavVideoSource("26.avi").Trim(0, 145 - 1).TemporalMedian()
a27 = LWLibavVideoSource("27.avi").Trim(0, 149 - 1).TemporalMedian()
a28 = LWLibavVideoSource("28.avi").Trim(0, 149 - 1).TemporalMedian()
a29 = LWLibavVideoSource("29.avi").Trim(0, 150 - 1).TemporalMedian()
a30 = LWLibavVideoSource("30.avi").Trim(0, 144 - 1).TemporalMedian()
a31 = LWLibavVideoSource("31.avi").Trim(0, 146 - 1).TemporalMedian()
a32 = LWLibavVideoSource("32.avi").Trim(0, 146 - 1).TemporalMedian()
a33 = LWLibavVideoSource("33.avi").Trim(0, 149 - 1).TemporalMedian()

med1 = Median(a01, a02, a03, a04, a05, a06, a07, a08, a09, a10, a11)
med2 = Median(a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22)
med3 = Median(a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33)
avg = Average(med1, 1.0/3, med2, 1.0/3, med3, 1.0/3)
avg.Trim(10, 69) + avg.Trim(10, 69)
AssumeFPS(24000, 1001)
BilinearResize(640, 480, 10, 0, -4, -0)
